#pragma once

#include "hostwatch.h"
#include "linkstats.h"
#include "metricsserver.h"
#include "metricsstore.h"

#include <QHash>
#include <QObject>
#include <QPointer>

class QTimer;
class TPingFrame;

// Serves the figures of every running frame (board frames and ping windows alike) at the
// metrics address, when one is set. Results reach it through the frames' one result signal;
// once a second it takes the series of frames that stopped out of the output and follows the
// frames' names as the board renumbers them.
class TMetricsWatch : public QObject
{
    Q_OBJECT
public:
    TMetricsWatch(QString version, QObject *parent = nullptr);
    ~TMetricsWatch() override;

    void watch(TPingFrame *frame);
    // Serves at the address ("127.0.0.1:9427"), or stops serving for an empty one. Returns an
    // empty text, or why it cannot serve there (it then serves nowhere).
    QString serveAt(const QString &address);
    bool serving() const { return m_server.isListening(); }
    quint16 port() const { return m_server.port(); }

    static constexpr int kSweepMs = 1000;

private:
    struct FrameState
    {
        QPointer<TPingFrame> frame;
        QList<EchoOutcome> recent;
        DownUpWatch downUp;
    };
    void onResult(TPingFrame *frame, const EchoOutcome &outcome);
    void sweep();

    MetricsStore m_store;
    MetricsServer m_server;
    QHash<TPingFrame *, FrameState> m_frames;
    QTimer *m_sweep;
};
