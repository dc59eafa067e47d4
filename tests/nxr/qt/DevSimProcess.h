#pragma once
// Starts the simulator program for an end-to-end test and reads where it
// serves. The program quits when its stdin closes, so a test that dies
// leaves nothing running.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <string>

namespace quillpad::test {

class CDevSimProcess {
  public:
    // `args` such as {"--tcp", "0"} or {"--pty"}; false when it did not start.
    bool Start(const QStringList& args) {
        // The build tree, as the test main names it, else beside the program.
        const QByteArray dir = qgetenv("QUILLPAD_BINARY_DIR");
        const QString root = !dir.isEmpty() ? QFile::decodeName(dir)
                                            : QCoreApplication::applicationDirPath() + "/..";
        const QString program = root + "/devsim/app/quillpad-devsim";
        m_process.setProgram(program);
        m_process.setArguments(args + QStringList{"--quit-on-stdin-eof"});
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            m_error = "cannot start " + program.toStdString();
            return false;
        }
        for (int i = 0; i < 100 && !m_process.canReadLine(); ++i) {
            m_process.waitForReadyRead(100);
        }
        const std::string line = m_process.readLine().trimmed().toStdString();
        if (line.rfind("listening ", 0) == 0) {
            m_where = line.substr(line.find(' ', 10) + 1);  // "127.0.0.1:PORT"
            m_port = std::stoi(m_where.substr(m_where.rfind(':') + 1));
            return true;
        }
        if (line.rfind("pty ", 0) == 0) {
            m_where = line.substr(4);
            return true;
        }
        m_error = "unexpected first line \"" + line +
                  "\"; stderr: " + m_process.readAllStandardError().toStdString();
        return false;
    }
    // As a device that is unplugged or switched off.
    void Kill() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    ~CDevSimProcess() {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            Kill();
        }
    }

    const std::string& Where() const { return m_where; }
    int Port() const { return m_port; }
    const std::string& Error() const { return m_error; }

  private:
    QProcess m_process;
    std::string m_where;
    std::string m_error;
    int m_port = 0;
};

}  // namespace quillpad::test
