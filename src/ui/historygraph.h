// The small latency graph of the information page: the last hour of probes of the server on show, its
// outages marked, and the share of answered probes with the median ping beside it.
#pragma once

#include <QWidget>
#include <cstdint>

class TProbeHistory;

class THistoryGraph : public QWidget
{
    Q_OBJECT

public:
    // `history` outlives the graph.
    THistoryGraph(QWidget* parent, const TProbeHistory& history);

    // "98% 45ms": what the graph says beside itself; empty before the first probe.
    QString SummaryText() const;

public slots:
    // The server drawn; 0 for none.
    void ShowServer(std::uint64_t serverId);
    // A probe of some server went into the history: drawn again when it is the one shown.
    void HistoryRecorded(std::uint64_t serverId);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void RefreshToolTip();

    const TProbeHistory& history_;
    std::uint64_t serverId_ = 0;
};
