#include "HotPlug.h"

#include "PortRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <libudev.h>

#include <fcntl.h>

#include <exception>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// Events for other ttys (consoles, ptys) do not change the registry.
bool IsSerialTtyName(const char* name)
{
    if (!name)
        return false;
    const std::string s(name);
    return s.rfind("ttyUSB", 0) == 0 || s.rfind("ttyACM", 0) == 0 || s.rfind("rfcomm", 0) == 0;
}

// One receive burst drains at most this many udev events before yielding.
constexpr int MaxUdevEventsPerWake = 64;

}  // namespace

struct THotPlug::TImpl {
    TPortRegistry& Registry;
    const int Debounce;

    bool Running = false;
    QTimer Timer;
    QElapsedTimer FirstPending;
    QFileSystemWatcher Watcher;
    QString WatchedFolder;

    udev* Udev = nullptr;
    udev_monitor* Monitor = nullptr;
    std::unique_ptr<QSocketNotifier> Notifier;

    std::map<int, std::string> Known;  // present ports: number -> device path
    bool Delivering = false;
    bool RefreshAgain = false;

    mutable std::mutex ListenerLock;
    std::map<int, TPortChangeListener> Listeners;
    int NextId = 1;

    TImpl(TPortRegistry& registry, int debounce)
        : Registry(registry), Debounce(debounce)
    {
        Timer.setSingleShot(true);
        QObject::connect(&Timer, &QTimer::timeout, &Timer, [this] { OnTimer(); });
        QObject::connect(&Watcher, &QFileSystemWatcher::directoryChanged, &Timer, [this] { Schedule(); });
    }

    ~TImpl() { StopAll(); }

    std::map<int, std::string> Snapshot() const
    {
        std::map<int, std::string> ports;
        for (const TPortEntry& e : Registry.Ports())
            ports[e.Number] = e.DevicePath;
        return ports;
    }

    // Restarts the quiet spell, but not beyond MaxDelayMs after the first
    // event of a burst.
    void Schedule()
    {
        if (!Running)
            return;
        if (!Timer.isActive()) {
            FirstPending.start();
            Timer.start(Debounce);
        } else if (FirstPending.elapsed() + Debounce <= MaxDelayMs) {
            Timer.start(Debounce);
        }
    }

    void WatchFolder()
    {
        const QString folder = QString::fromStdString(Registry.PortsFolder());
        if (folder != WatchedFolder && !WatchedFolder.isEmpty()) {
            Watcher.removePath(WatchedFolder);
            WatchedFolder.clear();
        }
        if (folder.isEmpty())
            return;
        // Made here so that the first link a user or a test puts in is seen.
        QDir().mkpath(folder);
        // A watched folder that was deleted drops out of the watch: re-add.
        if (!Watcher.directories().contains(folder))
            Watcher.addPath(folder);
        WatchedFolder = Watcher.directories().contains(folder) ? folder : QString();
    }

    void OpenUdev()
    {
        Udev = udev_new();
        if (!Udev)
            return;
        Monitor = udev_monitor_new_from_netlink(Udev, "udev");
        if (!Monitor || udev_monitor_filter_add_match_subsystem_devtype(Monitor, "tty", nullptr) < 0
            || udev_monitor_enable_receiving(Monitor) < 0) {
            CloseUdev();
            return;
        }
        const int fd = udev_monitor_get_fd(Monitor);
        const int flags = fd >= 0 ? fcntl(fd, F_GETFL) : -1;
        // The GUI thread must never wait on the socket.
        if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
            CloseUdev();
            return;
        }
        Notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(Notifier.get(), &QSocketNotifier::activated, Notifier.get(), [this] { OnUdev(); });
    }

    void CloseUdev()
    {
        Notifier.reset();
        if (Monitor)
            udev_monitor_unref(Monitor);
        Monitor = nullptr;
        if (Udev)
            udev_unref(Udev);
        Udev = nullptr;
    }

    void OnUdev()
    {
        if (!Monitor)
            return;
        bool relevant = false;
        for (int i = 0; i < MaxUdevEventsPerWake; ++i) {
            udev_device* dev = udev_monitor_receive_device(Monitor);
            if (!dev)
                break;
            relevant = relevant || IsSerialTtyName(udev_device_get_sysname(dev));
            udev_device_unref(dev);
        }
        if (relevant)
            Schedule();
    }

    void OnTimer()
    {
        if (!Running)
            return;
        if (Delivering) {
            // A listener is running the event loop: finish that delivery
            // first so that listeners see the changes in order.
            RefreshAgain = true;
            return;
        }
        Registry.Refresh();
        WatchFolder();
        std::map<int, std::string> now = Snapshot();

        std::vector<std::pair<EPortChange, int>> changes;
        for (const auto& [number, path] : Known) {
            auto it = now.find(number);
            if (it == now.end() || it->second != path)
                changes.emplace_back(EPortChange::Removal, number);
        }
        for (const auto& [number, path] : now) {
            auto it = Known.find(number);
            if (it == Known.end() || it->second != path)
                changes.emplace_back(EPortChange::Arrival, number);
        }
        Known = std::move(now);

        Delivering = true;
        for (const auto& [change, number] : changes)
            Deliver(change, "COM" + std::to_string(number));
        Delivering = false;
        if (RefreshAgain && Running) {
            RefreshAgain = false;
            Timer.start(0);
        }
    }

    void Deliver(EPortChange change, const std::string& portName)
    {
        std::vector<int> ids;
        {
            std::lock_guard<std::mutex> guard(ListenerLock);
            for (const auto& entry : Listeners)
                ids.push_back(entry.first);
        }
        for (int id : ids) {
            TPortChangeListener listener;
            {
                // Removed by an earlier listener: not called any more.
                std::lock_guard<std::mutex> guard(ListenerLock);
                auto it = Listeners.find(id);
                if (it == Listeners.end())
                    continue;
                listener = it->second;
            }
            try {
                listener(change, portName);
            } catch (const std::exception& e) {
                qWarning("Port change listener for %s failed: %s", portName.c_str(), e.what());
            } catch (...) {
                qWarning("Port change listener for %s failed", portName.c_str());
            }
        }
    }

    void StopAll()
    {
        Running = false;
        Timer.stop();
        RefreshAgain = false;
        if (!WatchedFolder.isEmpty())
            Watcher.removePath(WatchedFolder);
        WatchedFolder.clear();
        CloseUdev();
    }
};

THotPlug::THotPlug(TPortRegistry& registry, int debounceMs)
    : d_(std::make_unique<TImpl>(registry, debounceMs))
{
}

THotPlug::THotPlug()
    : THotPlug(TPortRegistry::Instance())
{
}

THotPlug::~THotPlug() = default;

void THotPlug::Start()
{
    if (d_->Running)
        return;
    d_->Registry.Refresh();
    d_->Known = d_->Snapshot();
    d_->Running = true;
    d_->WatchFolder();
    d_->OpenUdev();
}

void THotPlug::Stop()
{
    d_->StopAll();
}

bool THotPlug::Running() const
{
    return d_->Running;
}

bool THotPlug::UdevActive() const
{
    return d_->Notifier != nullptr;
}

int THotPlug::AddListener(TPortChangeListener listener)
{
    std::lock_guard<std::mutex> guard(d_->ListenerLock);
    const int id = d_->NextId++;
    d_->Listeners.emplace(id, std::move(listener));
    return id;
}

void THotPlug::RemoveListener(int id)
{
    std::lock_guard<std::mutex> guard(d_->ListenerLock);
    d_->Listeners.erase(id);
}
