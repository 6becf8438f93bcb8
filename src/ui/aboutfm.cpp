#include "ui/aboutfm.h"

#include "buildconfig.h"
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "ui/LnkLabel.h"
#include "ui/msgbox.h"
#include "ui/skinfont.h"
#include "ui/skinstyle.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr const char* kMakerName = "The Korvan developers";
constexpr const char* kSupportAddress = "support@korvan.example";
constexpr const char* kWebSite = "https://korvan.example/";

// "none": the table's word for a contact the maker does not have, as the messenger.
constexpr const char* kNoneWord = "none";

template <typename T> T* Named(T* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

QLabel* Bold(QLabel* label)
{
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

QFrame* Rule(QWidget* parent, const char* name)
{
    auto* rule = Named(new QFrame(parent), name);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    return rule;
}

} // namespace

bool AboutValueShown(const QString& value, const QString& noneWord)
{
    const QString trimmed = value.trimmed();
    if (trimmed.isEmpty())
        return false;
    if (trimmed.compare(QLatin1String(kNoneWord), Qt::CaseInsensitive) == 0)
        return false;
    return noneWord.trimmed().isEmpty() || trimmed.compare(noneWord.trimmed(), Qt::CaseInsensitive) != 0;
}

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutForm");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowSystemMenuHint);
    // The links are blue on a light face whatever the desktop's colours are.
    QPalette face = palette();
    face.setColor(QPalette::Window, kDialogFaceColor);
    face.setColor(QPalette::WindowText, kDialogTextColor);
    setPalette(face);
    setAutoFillBackground(true);
    setFont(SkinFont(kSkinTextPx));

    Label1 = Named(new QLabel(QString::fromLatin1(kApplicationTitle), this), "Label1");
    Label1->setFont(SkinFont(kSkinTitlePx));
    Label1->setAlignment(Qt::AlignCenter);
    Label3 = Named(new QLabel(QStringLiteral("(%1)").arg(QStringLiteral(KORVAN_VERSION_TEXT)), this), "Label3");
    Label3->setAlignment(Qt::AlignCenter);
    Label2 = Named(new QLabel(UiText(TTextId::AboutBy) + u' ' + QString::fromUtf8(kMakerName), this), "Label2");
    Label2->setAlignment(Qt::AlignCenter);
    Bevel1 = Rule(this, "Bevel1");

    LabSupport = Bold(Named(new QLabel(this), "LabSupport"));
    Label4 = Bold(Named(new QLabel(UiText(TTextId::AboutEmail), this), "Label4"));
    LnkLabel1 = Named(new TLnkLabel(QString::fromLatin1(kSupportAddress),
                                    QStringLiteral("mailto:") + QString::fromLatin1(kSupportAddress), this),
                      "LnkLabel1");
    Label5 = Bold(Named(new QLabel(UiText(TTextId::AboutMessenger), this), "Label5"));
    Label6 = Named(new QLabel(UiText(TTextId::AboutNoContact), this), "Label6");
    Label6->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabWeb = Bold(Named(new QLabel(this), "LabWeb"));
    LnkLabel2 = Named(new TLnkLabel(QString::fromLatin1(kWebSite), QString::fromLatin1(kWebSite), this), "LnkLabel2");
    for (TLnkLabel* link : {LnkLabel1, LnkLabel2}) {
        link->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        link->SetFontColor(kLinkColor);
    }
    Bevel2 = Rule(this, "Bevel2");

    Button1 = Named(new QPushButton(UiText(TTextId::AboutOk), this), "Button1");
    Button1->setDefault(true);
    // OK is also the way out by Esc: there is nothing to cancel.
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto* contacts = new QGridLayout;
    contacts->setColumnStretch(1, 1);
    contacts->addWidget(LabSupport, 0, 0, 1, 2);
    contacts->addWidget(Label4, 1, 0);
    contacts->addWidget(LnkLabel1, 1, 1);
    contacts->addWidget(Label5, 2, 0);
    contacts->addWidget(Label6, 2, 1);
    contacts->addWidget(LabWeb, 3, 0);
    contacts->addWidget(LnkLabel2, 3, 1);

    // A contact row with nothing to show is left out rather than printed as "none".
    const QString noneWord = UiText(TTextId::AboutNoContact);
    const struct
    {
        QLabel* Caption;
        QLabel* Value;
    } rows[] = {{Label4, LnkLabel1}, {Label5, Label6}, {LabWeb, LnkLabel2}};
    for (const auto& row : rows) {
        const bool shown = AboutValueShown(row.Value->text(), noneWord);
        row.Caption->setVisible(shown);
        row.Value->setVisible(shown);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label3);
    layout->addWidget(Label2);
    layout->addWidget(Bevel1);
    layout->addLayout(contacts);
    layout->addWidget(Bevel2);
    layout->addStretch(1);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
}

void TAboutForm::setVisible(bool visible)
{
    if (visible)
        setFixedSize(sizeHint().expandedTo({kAboutFormWidth, kAboutFormHeight}));
    QDialog::setVisible(visible);
}
