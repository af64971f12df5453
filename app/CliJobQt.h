// One run of the command-line tool in a process of its own: its arguments and a text on its
// standard input, and one report when it is over, either that it could not start (the program's
// path and why) or that it finished (exit code, standard output and error). The report comes from
// the event loop, never from inside Start. ParseGenerateJson reads what generate --json prints.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;

namespace vorn {

struct TCliJobReport {
    bool started = false; // false: the program could not be started
    QString program;      // the path that was run
    QString startProblem; // why it could not start
    int exitCode = -1;    // -1 when it crashed or was killed
    QByteArray output;    // standard output
    QString errorOutput;  // standard error, trimmed
};

// One recipe line of a generate --json run: the file written, or why it failed.
struct TCliTexture {
    int index = 0;
    QString file;  // empty when it failed
    QString error; // empty when it was written
};

struct TCliGenerateResult {
    bool valid = false;          // the output was the JSON object generate --json prints
    QList<TCliTexture> textures; // one per recipe line, in order
    QStringList existing;        // files that exist already (nothing was written)
};

// What generate --json printed; not valid when it is no such object.
TCliGenerateResult ParseGenerateJson(const QByteArray& output);

class TCliJobQt : public QObject {
    Q_OBJECT

public:
    explicit TCliJobQt(QObject* parent = nullptr);
    // A child still running is killed.
    ~TCliJobQt() override;

    void SetProgram(const QString& path) { m_program = path; }
    const QString& Program() const { return m_program; }

    // Runs the program with arguments and input on its standard input; false (and no report) while
    // a run is not over yet.
    bool Start(const QStringList& arguments, const QByteArray& input);
    // A run was started and has not reported yet.
    bool Running() const { return m_running; }
    // Waits up to ms milliseconds for the child to end; true when it did (the report still comes
    // from the event loop).
    bool WaitForEnd(int ms);
    // Kills a running child and waits for it; no report follows.
    void Stop();

signals:
    void Done(const vorn::TCliJobReport& report);

private:
    void Report(TCliJobReport report);

    QString m_program;
    QProcess* m_process;
    bool m_running = false;
    int m_run = 0; // counts runs and stops; a queued report of an earlier one is dropped
};

} // namespace vorn
