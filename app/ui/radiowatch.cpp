#include "radiowatch.h"

#include <poll.h>

#include <QFileInfo>

#include "libs/bluezbus/adapterwatch.h"
#include "libs/simworld/simworld.h"
#include "support/logentry.h"

CRadioWatch::CRadioWatch(std::function<void()> onChange, QObject* parent)
    : QObject(parent), changed(std::move(onChange)) {
    settle.setSingleShot(true);
    settle.setInterval(settleMs);
    connect(&settle, &QTimer::timeout, this, [this] { changed(); });
    if (const auto world = simworld::worldFile()) {
        watchWorld(QString::fromStdString(*world));
    } else {
        watchAdapters();
    }
}

CRadioWatch::~CRadioWatch() = default;

void CRadioWatch::noticeArrived() {
    settle.start();
}

void CRadioWatch::watchWorld(const QString& file) {
    worldFile = QFileInfo(file).absoluteFilePath();
    files = std::make_unique<QFileSystemWatcher>();
    const auto worldChanged = [this] {
        rewatchWorldFile();
        noticeArrived();
    };
    connect(files.get(), &QFileSystemWatcher::fileChanged, this, worldChanged);
    connect(files.get(), &QFileSystemWatcher::directoryChanged, this, worldChanged);
    watching = files->addPath(QFileInfo(worldFile).absolutePath());
    rewatchWorldFile();
}

// A replaced file is a new file: the watch on the old one has ended with it.
void CRadioWatch::rewatchWorldFile() {
    if (!files->files().contains(worldFile) && QFileInfo::exists(worldFile)) {
        files->addPath(worldFile);
    }
}

void CRadioWatch::watchAdapters() {
    adapters = std::make_unique<bluezbus::CAdapterWatch>(
        [this](const bluezbus::AdapterEvent&) { noticeArrived(); });
    std::string problem;
    if (!adapters->open(problem)) {
        support::logError("no radio notices: " + problem, support::typeTag(this));
        adapters.reset();
        return;
    }
    adapterReads = std::make_unique<QSocketNotifier>(adapters->fd(), QSocketNotifier::Read);
    adapterWrites = std::make_unique<QSocketNotifier>(adapters->fd(), QSocketNotifier::Write);
    connect(adapterReads.get(), &QSocketNotifier::activated, this, &CRadioWatch::serveAdapters);
    connect(adapterWrites.get(), &QSocketNotifier::activated, this, &CRadioWatch::serveAdapters);
    watching = true;
    serveAdapters();  // what arrived while subscribing
}

void CRadioWatch::serveAdapters() {
    adapters->process();
    const short events = adapters->pollEvents();
    if (events == 0) {
        // The bus connection is gone; its socket would wake the loop for ever.
        support::logError("no radio notices: the system bus connection ended",
                          support::typeTag(this));
        adapterReads->setEnabled(false);
        adapterWrites->setEnabled(false);
        watching = false;
        return;
    }
    adapterWrites->setEnabled((events & POLLOUT) != 0);
}
