#include "engine/SettingsBoard.h"

#include <utility>

namespace pg {

SettingsBoard::SettingsBoard() : current_(std::make_shared<const DaemonSettings>()) {}

std::shared_ptr<const DaemonSettings> SettingsBoard::Current() const {
    MutexLock lock(mutex_);
    return current_;
}

std::shared_ptr<const DaemonSettings> SettingsBoard::Publish(
    std::shared_ptr<const DaemonSettings> settings) {
    MutexLock lock(mutex_);
    std::swap(current_, settings);
    return settings;  // released outside the lock by the caller
}

}  // namespace pg
