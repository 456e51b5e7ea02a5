#pragma once
// Tells the main window when radios may have come or gone, without a polling loop. In the
// simulated world it watches the world file and its folder (writers replace the file, so the
// folder sees the new one arrive); with real radios it serves the Bluetooth service's adapter
// notices on the GUI thread. Bursts of notices are reported once.

#include <QFileSystemWatcher>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>

namespace bluezbus {
class CAdapterWatch;
}

class CRadioWatch : public QObject {
    Q_OBJECT

  public:
    static constexpr int settleMs = 100;

    // `changed` runs on the GUI thread after radios may have come or gone.
    explicit CRadioWatch(std::function<void()> changed, QObject* parent = nullptr);
    ~CRadioWatch() override;

    // False when nothing can be watched (no world file folder, no system bus, or the bus
    // connection ended): the owner then has to ask for the radios itself.
    bool isWatching() const { return watching; }

  private:
    void watchWorld(const QString& worldFile);
    void watchAdapters();
    void rewatchWorldFile();
    void serveAdapters();
    void noticeArrived();

    std::function<void()> changed;
    QTimer settle;
    QString worldFile;
    std::unique_ptr<QFileSystemWatcher> files;
    std::unique_ptr<bluezbus::CAdapterWatch> adapters;
    std::unique_ptr<QSocketNotifier> adapterReads;
    std::unique_ptr<QSocketNotifier> adapterWrites;
    bool watching = false;
};
