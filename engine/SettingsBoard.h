#pragma once

#include <memory>

#include "engine/DaemonSettings.h"
#include "platform/Mutex.h"

namespace pg {

// Where the spooler publishes the settings in force: one immutable snapshot, replaced whole on
// a change. Queues hold the board and take the snapshot in force when a piece of their work
// starts, so a change never alters the settings under work already running.
class SettingsBoard {
  public:
    // Starts with the defaults (no access rules, no print system).
    SettingsBoard();
    SettingsBoard(const SettingsBoard&) = delete;
    SettingsBoard& operator=(const SettingsBoard&) = delete;

    std::shared_ptr<const DaemonSettings> Current() const;
    // Puts settings in force; returns the snapshot they replace.
    std::shared_ptr<const DaemonSettings> Publish(std::shared_ptr<const DaemonSettings> settings);

  private:
    mutable Mutex mutex_;
    std::shared_ptr<const DaemonSettings> current_ GUARDED_BY(mutex_);
};

}  // namespace pg
