#include "ui/historygraph.h"

#include "core/localization_u.h"
#include "monitor/probehistory.h"
#include "monitor/status.h"
#include "ui/msgbox.h"
#include "ui/skinfont.h"
#include "ui/skinstyle.h"

#include <QDateTime>
#include <QPainter>
#include <algorithm>

namespace {

constexpr int kTextGap = 4;
// A graph whose slowest probe is quick still shows some height; beyond the fair bound it is cut.
constexpr std::int32_t kMinScaleMs = 100;
constexpr std::int32_t kMaxScaleMs = kPingFairMaxMs * 2;
constexpr int kSummaryPx = 10;
constexpr QColor kGraphGround{0x26, 0x26, 0x26};
// Words the table does not carry, as on the status line.
constexpr const char* kWordMilliseconds = "ms";
constexpr const char* kWordUnknownPing = "?";

QString PingText(std::int32_t ms)
{
    return ms < 0 ? QString::fromLatin1(kWordUnknownPing) : QString::number(ms) + QLatin1String(kWordMilliseconds);
}

} // namespace

THistoryGraph::THistoryGraph(QWidget* parent, const TProbeHistory& history) : QWidget(parent), history_(history)
{
    setObjectName("HistoryGraph");
    setFont(SkinFont(kSummaryPx));
    RefreshToolTip();
}

void THistoryGraph::ShowServer(std::uint64_t serverId)
{
    serverId_ = serverId;
    RefreshToolTip();
    update();
}

void THistoryGraph::HistoryRecorded(std::uint64_t serverId)
{
    if (serverId != serverId_)
        return;
    RefreshToolTip();
    update();
}

QString THistoryGraph::SummaryText() const
{
    const THistorySummary summary = history_.Summary(serverId_, QDateTime::currentSecsSinceEpoch());
    if (summary.Probes == 0)
        return {};
    const int share = summary.Answered * 100 / summary.Probes;
    return QStringLiteral("%1% %2").arg(share).arg(PingText(summary.MedianPingMs));
}

void THistoryGraph::RefreshToolTip()
{
    const THistorySummary summary = history_.Summary(serverId_, QDateTime::currentSecsSinceEpoch());
    if (summary.Probes == 0) {
        setToolTip(UiText(TTextId::HistoryEmpty));
        return;
    }
    setToolTip(
        ToQString(FillText(TTextId::HistoryHint, {std::to_string(summary.Answered), std::to_string(summary.Probes),
                                                  FromQString(PingText(summary.MedianPingMs))})));
}

void THistoryGraph::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QString summary = SummaryText();
    const int textWidth = summary.isEmpty() ? 0 : fontMetrics().horizontalAdvance(summary) + kTextGap;
    const QRect graph(0, 0, std::max(width() - textWidth, 1), height());
    painter.fillRect(graph, kGraphGround);

    const std::vector<THistoryColumn> columns = HistoryColumns(history_.Samples(serverId_), graph.width());
    std::int32_t scale = kMinScaleMs;
    for (const THistoryColumn& column : columns)
        scale = std::max(scale, column.WorstPingMs);
    scale = std::min(scale, kMaxScaleMs);
    for (int x = 0; x < static_cast<int>(columns.size()); ++x) {
        const THistoryColumn& column = columns[static_cast<std::size_t>(x)];
        if (!column.Any)
            continue;
        // An outage runs the whole height in red: it is what the graph is looked at for.
        if (column.Failed) {
            painter.fillRect(QRect(x, 0, 1, height()), kSkinRed);
            continue;
        }
        if (column.WorstPingMs < 0) {
            painter.fillRect(QRect(x, height() - 1, 1, 1), kSkinGrey);
            continue;
        }
        const int bar = std::clamp(std::min(column.WorstPingMs, scale) * height() / scale, 1, height());
        painter.fillRect(QRect(x, height() - bar, 1, bar), SkinStatusColor(PingColorOf(column.WorstPingMs)));
    }
    if (summary.isEmpty())
        return;
    painter.setPen(kSkinCaptionColor);
    painter.drawText(QRect(graph.right() + 1 + kTextGap, 0, textWidth, height()), Qt::AlignLeft | Qt::AlignVCenter,
                     summary);
}
