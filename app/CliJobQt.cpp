#include "app/CliJobQt.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace vorn {

TCliGenerateResult ParseGenerateJson(const QByteArray& output) {
    TCliGenerateResult result;
    const QJsonDocument document = QJsonDocument::fromJson(output);
    const QJsonObject object = document.object();
    if (!document.isObject() || !object.value(QStringLiteral("textures")).isArray()) return result;
    result.valid = true;
    const QJsonArray textures = object.value(QStringLiteral("textures")).toArray();
    for (qsizetype i = 0; i < textures.size(); ++i) {
        const QJsonObject texture = textures[i].toObject();
        TCliTexture one;
        one.index = texture.value(QStringLiteral("index")).toInt(int(i));
        one.file = texture.value(QStringLiteral("file")).toString();
        one.error = texture.value(QStringLiteral("error")).toString();
        if (one.file.isEmpty() && one.error.isEmpty()) one.error = QStringLiteral("no file was written");
        result.textures += one;
    }
    for (const QJsonValue& file : object.value(QStringLiteral("existing")).toArray())
        result.existing += file.toString();
    return result;
}

TCliJobQt::TCliJobQt(QObject* parent) : QObject(parent), m_process(new QProcess(this)) {
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        // Only a failed start ends without finished following.
        if (error != QProcess::FailedToStart || !m_running) return;
        TCliJobReport report;
        report.program = m_program;
        report.startProblem = m_process->errorString();
        Report(report);
    });
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        if (!m_running) return;
        TCliJobReport report;
        report.started = true;
        report.program = m_program;
        report.exitCode = status == QProcess::NormalExit ? exitCode : -1;
        report.output = m_process->readAllStandardOutput();
        report.errorOutput = QString::fromLocal8Bit(m_process->readAllStandardError()).trimmed();
        Report(report);
    });
}

TCliJobQt::~TCliJobQt() {
    Stop();
}

bool TCliJobQt::Start(const QStringList& arguments, const QByteArray& input) {
    if (m_running) return false;
    m_running = true;
    ++m_run;
    m_process->start(m_program, arguments);
    if (m_process->state() != QProcess::NotRunning) {
        m_process->write(input);
        m_process->closeWriteChannel();
    }
    return true;
}

bool TCliJobQt::WaitForEnd(int ms) {
    if (!m_running) return true;
    if (m_process->state() != QProcess::NotRunning) m_process->waitForFinished(ms);
    return m_process->state() == QProcess::NotRunning;
}

void TCliJobQt::Stop() {
    if (!m_running) return;
    m_running = false;
    ++m_run; // a report already on its way is dropped
    if (m_process->state() == QProcess::NotRunning) return;
    m_process->kill();
    m_process->waitForFinished(3000);
}

void TCliJobQt::Report(TCliJobReport report) {
    // From the event loop, so that a caller of Start or WaitForEnd never sees it inside the call.
    QMetaObject::invokeMethod(
        this,
        [this, run = m_run, report = std::move(report)] {
            if (run != m_run || !m_running) return;
            m_running = false;
            emit Done(report);
        },
        Qt::QueuedConnection);
}

} // namespace vorn
