// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/host_monitor.h"
#include "tests/ui/fake_tray_backend.h"
#include "ui/main_form.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace pingvard::test {

// Runs a test in a fresh program directory (the current directory) holding the
// given pingvard.ini, and goes back afterwards.
class TProgramDir {
public:
    explicit TProgramDir(const QByteArray& ini = {}) : m_previous(QDir::currentPath()) {
        QDir::setCurrent(m_dir.path());
        if (!ini.isEmpty()) {
            WriteFile("pingvard.ini", ini);
        }
    }
    ~TProgramDir() { QDir::setCurrent(m_previous); }
    TProgramDir(const TProgramDir&) = delete;
    TProgramDir& operator=(const TProgramDir&) = delete;

    QString Path(const QString& name) const { return m_dir.filePath(name); }
    void WriteFile(const QString& name, const QByteArray& bytes) const {
        QFile file(Path(name));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
    }
    QByteArray ReadFile(const QString& name) const {
        QFile file(Path(name));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Workers that never touch the network and never report: the interval in the
// test configurations is an hour.
inline TMonitorOptions QuietMonitorOptions() {
    TMonitorOptions options;
    options.IcmpProbe = [] { return std::string(); };
    options.Pinger = [](const std::string&, int32_t) { return 1; };
    return options;
}

inline std::unique_ptr<TMainForm> MakeMainForm(std::shared_ptr<TFakeTrayState> tray = {}) {
    if (!tray) {
        tray = std::make_shared<TFakeTrayState>();
    }
    auto form = std::make_unique<TMainForm>(std::make_unique<TFakeTrayBackend>(tray),
                                            QuietMonitorOptions());
    form->ShowErrorBox = nullptr;
    return form;
}

inline const QByteArray kQuietIni = "[Constants]\r\n"
                                    "MaxTimeouts=5\r\n"
                                    "PingInterval=3600000\r\n"
                                    "[ResetHost]\r\n"
                                    "Hostname=127.0.0.9\r\n"
                                    "[Host1]\r\n"
                                    "Hostname=localhost\r\n"
                                    "DisplayName=loopback\r\n"
                                    "[Host2]\r\n"
                                    "Hostname=127.0.0.2\r\n"
                                    "[Host3]\r\n"
                                    "Hostname=127.0.0.3\r\n"
                                    "[Host4]\r\n"
                                    "Hostname=127.0.0.4\r\n"
                                    "DisplayName=AP\r\n";

} // namespace pingvard::test
