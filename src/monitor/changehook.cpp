#include "changehook.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <memory>

ChangeHook::ChangeHook(std::function<void(const QString &)> log, QObject *parent)
    : QObject(parent)
    , m_log(std::move(log))
{
}

ChangeHook::~ChangeHook()
{
    // Runs still going are ended with the program.
    for (QProcess *p : std::as_const(m_running)) {
        p->disconnect(this);
        p->kill();
        p->waitForFinished(1000);
        delete p;
    }
}

void ChangeHook::setCommand(const QString &program, const QStringList &arguments)
{
    if (program != m_program)
        m_missingSaid = false;
    m_program = program;
    m_arguments = arguments;
}

QHash<QString, QString> ChangeHook::variables(const Change &c)
{
    const HostState::Announcement &a = c.announcement;
    // ISO 8601 with the offset from UTC, whatever the time zone.
    const QDateTime since = a.since.isValid() ? a.since.toOffsetFromUtc(a.since.offsetFromUtc()) : QDateTime();
    return {
        { QStringLiteral("SKYLARK_HOST"), c.host },
        { QStringLiteral("SKYLARK_LABEL"), c.label },
        { QStringLiteral("SKYLARK_ADDRESS"), c.address },
        { QStringLiteral("SKYLARK_STATE"), HostState::code(a.to) },
        { QStringLiteral("SKYLARK_PREVIOUS"), HostState::code(a.from) },
        { QStringLiteral("SKYLARK_SINCE"), since.isValid() ? since.toString(Qt::ISODate) : QString() },
        { QStringLiteral("SKYLARK_RTT_MS"), c.rttMs < 0 ? QString() : QString::number(c.rttMs) },
        { QStringLiteral("SKYLARK_LOSS"), QString::number(c.lossPercent, 'f', 1) },
    };
}

void ChangeHook::run(const Change &change)
{
    if (m_program.isEmpty())
        return;
    m_queue.push_back(variables(change));
    while (int(m_queue.size()) > kQueued) {
        m_queue.pop_front();
        ++m_dropped;
    }
    startWaiting();
}

void ChangeHook::startWaiting()
{
    while (!m_queue.empty() && int(m_running.size()) < kRunning) {
        const QHash<QString, QString> vars = std::move(m_queue.front());
        m_queue.pop_front();
        start(vars);
    }
    if (m_queue.empty() && m_dropped > 0) {
        m_log(QStringLiteral("change command: %1 changes not run, more than %2 were waiting")
                  .arg(std::exchange(m_dropped, 0))
                  .arg(kQueued));
    }
}

void ChangeHook::start(const QHash<QString, QString> &variables)
{
    auto *p = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (auto it = variables.cbegin(); it != variables.cend(); ++it)
        env.insert(it.key(), it.value());
    p->setProcessEnvironment(env);
    p->setStandardOutputFile(QProcess::nullDevice());
    p->setStandardInputFile(QProcess::nullDevice());
    p->setProgram(m_program);
    p->setArguments(m_arguments);
    auto *limit = new QTimer(p);
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, p, [this, p] {
        m_log(QStringLiteral("change command %1 still running after %2 ms, ended")
                  .arg(QFileInfo(m_program).fileName())
                  .arg(m_timeLimitMs));
        p->kill();
    });
    // Standard error is read as it comes, so that the program never waits on a full pipe,
    // and only its beginning is kept.
    auto kept = std::make_shared<QByteArray>();
    auto over = std::make_shared<qint64>(0);
    const auto take = [p, kept, over] {
        const QByteArray chunk = p->readAllStandardError();
        const qsizetype room = std::max<qsizetype>(0, kErrorKept - kept->size());
        kept->append(chunk.left(room));
        *over += std::max<qsizetype>(0, chunk.size() - room);
    };
    connect(p, &QProcess::readyReadStandardError, p, take);
    const auto done = [this, p, take, kept, over] {
        if (!m_running.removeOne(p))
            return;
        take();
        for (const QByteArray &line : kept->split('\n'))
            if (!line.trimmed().isEmpty())
                m_log(QStringLiteral("change command: %1").arg(QString::fromUtf8(line)));
        if (*over > 0)
            m_log(QStringLiteral("change command: %1 more bytes on standard error not kept").arg(*over));
        p->deleteLater();
        startWaiting();
        emit finished();
    };
    connect(p, &QProcess::finished, this, done);
    connect(p, &QProcess::errorOccurred, this, [this, p, done](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart)
            return;
        if (!std::exchange(m_missingSaid, true))
            m_log(QStringLiteral("change command \"%1\" cannot be run: %2")
                      .arg(m_program,
                          QStandardPaths::findExecutable(m_program).isEmpty() && !QFileInfo(m_program).isExecutable()
                              ? QStringLiteral("there is no such program")
                              : p->errorString()));
        done();
    });
    m_running.append(p);
    p->start();
    limit->start(m_timeLimitMs);
}
