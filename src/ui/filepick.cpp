#include "ui/filepick.h"

#include "core/localization_u.h"
#include "ui/msgbox.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {

constexpr QChar kFilterSeparator = u'|';
constexpr QChar kPatternSeparator = u';';

} // namespace

QString AnyCasePattern(const QString& pattern)
{
    QString out;
    for (QChar c : pattern) {
        QChar lower = c.toLower();
        QChar upper = c.toUpper();
        if (c.isLetter() && lower != upper)
            out += QStringLiteral("[%1%2]").arg(lower, upper);
        else
            out += c;
    }
    return out;
}

QStringList PickerFilters(const QString& filter)
{
    const QString description = filter.section(kFilterSeparator, 0, 0);
    QStringList patterns;
    for (const QString& p : filter.section(kFilterSeparator, 1).split(kPatternSeparator, Qt::SkipEmptyParts))
        patterns << AnyCasePattern(p.trimmed());
    return {QStringLiteral("%1 (%2)").arg(description, patterns.join(u' ')),
            QStringLiteral("%1 (*)").arg(ToQString(LoadText(TTextId::AllFiles)))};
}

QString PickExistingFile(QWidget* owner, const QString& current, const QString& filter)
{
    QFileDialog picker(owner);
    picker.setFileMode(QFileDialog::ExistingFile);
    picker.setAcceptMode(QFileDialog::AcceptOpen);
    // The bracketed any-case patterns are for matching, not for reading.
    picker.setOption(QFileDialog::HideNameFilterDetails);
    picker.setOption(QFileDialog::ReadOnly);
    picker.setNameFilters(PickerFilters(filter));
    if (!current.isEmpty()) {
        QFileInfo info(current);
        picker.setDirectory(info.absolutePath());
        if (info.isFile())
            picker.selectFile(info.fileName());
    }
    if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty())
        return {};
    return QFileInfo(picker.selectedFiles().constFirst()).absoluteFilePath();
}

QString PickFolder(QWidget* owner, const QString& current)
{
    QFileDialog picker(owner);
    picker.setFileMode(QFileDialog::Directory);
    picker.setOption(QFileDialog::ShowDirsOnly);
    if (!current.isEmpty())
        picker.setDirectory(current);
    if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty())
        return {};
    return QFileInfo(picker.selectedFiles().constFirst()).absoluteFilePath();
}
