#include "ui/LimitsPage.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <variant>

#include "config/ConfigChecker.h"
#include "config/LoggingSettings.h"
#include "config/ProfileText.h"
#include "config/SettingKey.h"
#include "engine/PeerAddress.h"

namespace pg {

namespace {

constexpr const char* kLogMaxMB = "LogMaxMB";

struct Shown {
    const char* key;
    const char* caption;
};

constexpr Shown kFields[] = {
    {"MaxConnections", "Most &connections at once:"},
    {"MaxJobMB", "Largest &job (MB):"},
    {"MinFreeMB", "&Free space kept on the spool volume (MB):"},
    {"MinBytesPerSecond", "&Slowest client (bytes per second):"},
    {kLogMaxMB, "Largest &log file (MB):"},
    {"ListenAddress", "Listen &address:"},
    {"RunAsUser", "&Run as user:"},
};

const SettingKey* KeyNamed(const char* key) {
    for (const SettingKey& entry : GeneralSettingKeys()) {
        if (EqualsNoCase(entry.key, key)) {
            return &entry;
        }
    }
    return nullptr;
}

bool IsLogMaxMB(const char* key) {
    return EqualsNoCase(key, kLogMaxMB);
}

// The value the daemon uses when the key is absent, as the field would show it.
QString DefaultText(const char* key, const ConfigLocation& location) {
    const ProfileFile noFile{std::string()};
    if (IsLogMaxMB(key)) {
        return QString::number(ReadLoggingSettings(noFile).logMaxMB);
    }
    const GeneralSettings defaults = ReadGeneralSettings(noFile, location, {});
    return QString::fromStdString(SavedText(*KeyNamed(key), defaults));
}

// "127.0.0.1, [::1]": every entry a numeric address, as the listener reads the key.
bool ListenAddressesRead(const std::string& text, std::string* bad) {
    size_t i = 0;
    while ((i = text.find_first_not_of(", \t", i)) != std::string::npos) {
        const size_t end = std::min(text.find_first_of(", \t", i), text.size());
        std::string entry = text.substr(i, end - i);
        i = end;
        if (entry.size() >= 2 && entry.front() == '[' && entry.back() == ']') {
            entry = entry.substr(1, entry.size() - 2);
        }
        if (PeerAddress::Parse(entry, 0).Family() == AF_UNSPEC) {
            *bad = entry;
            return false;
        }
    }
    return true;
}

}  // namespace

LimitsPage::LimitsPage(const ConfigLocation& location, QWidget* parent) : QWidget(parent) {
    auto* form = new QFormLayout(this);
    for (const Shown& shown : kFields) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(shown.key);
        auto* row = new QHBoxLayout;
        row->addWidget(edit, 1);
        const QString byDefault = DefaultText(shown.key, location);
        row->addWidget(
            new QLabel("default: " + (byDefault.isEmpty() ? QString("none") : byDefault), this));
        auto* caption = new QLabel(shown.caption, this);
        caption->setBuddy(edit);
        form->addRow(caption, row);
        fields_.push_back({shown.key, edit});
    }
}

void LimitsPage::Load(const GeneralSettings& settings, int logMaxMB) {
    for (const Field& field : fields_) {
        field.edit->setText(IsLogMaxMB(field.key) ? QString::number(logMaxMB)
                                                  : QString::fromStdString(
                                                        SavedText(*KeyNamed(field.key), settings)));
    }
}

bool LimitsPage::Store(GeneralSettings& settings, int& logMaxMB, QString* problem) const {
    std::string general = "[GENERAL CONFIGURE]\n";
    std::string logging = "[Logging]\n";
    for (const Field& field : fields_) {
        const std::string line =
            std::string(field.key) + "=" + field.edit->text().trimmed().toStdString() + "\n";
        (IsLogMaxMB(field.key) ? logging : general) += line;
    }
    const ConfigChecker checker(general + logging);
    for (const ConfigProblem& found : checker.Problems()) {
        if (found.severity == ConfigProblem::Severity::kError) {
            *problem = QString::fromStdString(found.text);
            return false;
        }
    }
    GeneralSettings stored = settings;
    for (const Field& field : fields_) {
        const std::string text = field.edit->text().trimmed().toStdString();
        if (IsLogMaxMB(field.key)) {
            continue;
        }
        const SettingKey::Field member = KeyNamed(field.key)->field;
        if (const auto* number = std::get_if<int32_t GeneralSettings::*>(&member)) {
            stored.*(*number) = ParseLeadingInt(text);
        } else {
            stored.*std::get<std::string GeneralSettings::*>(member) = text;
        }
    }
    std::string bad;
    if (!ListenAddressesRead(stored.listenAddress, &bad)) {
        *problem = QString("ListenAddress: %1 is no numeric IPv4 or IPv6 address")
                       .arg(QString::fromStdString(bad));
        return false;
    }
    for (const Field& field : fields_) {
        if (IsLogMaxMB(field.key)) {
            logMaxMB = ParseLeadingInt(field.edit->text().trimmed().toStdString());
        }
    }
    settings = stored;
    return true;
}

}  // namespace pg
