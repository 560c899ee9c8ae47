#include "ui/QueueInputRules.h"

#include "engine/HostAddress.h"

namespace pg {

namespace {

// How the operator reads the first character of text that rule refuses; empty when none.
template <typename Allowed>
QString FirstRefused(const QString& text, Allowed allowed) {
    for (const QChar c : text) {
        if (allowed(c)) {
            continue;
        }
        if (c == u' ' || c == u'\t') {
            return "a blank";
        }
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            return "a control character";
        }
        return QString("the character '%1'").arg(c);
    }
    return {};
}

bool IsNameCharacter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'.' || c == u'-' || c == u'_';
}

}  // namespace

QString QueueNameProblem(const QString& name) {
    if (name.isEmpty()) {
        return "Must enter a Printer Queue name";
    }
    const QString refused = FirstRefused(name, IsNameCharacter);
    if (!refused.isEmpty()) {
        return QString(
                   "The queue name '%1' holds %2. LPD clients can send queue names made of "
                   "letters, digits, '.', '-' and '_' only.")
            .arg(name, refused);
    }
    if (name.count(u'.') == name.size()) {
        return QString("The queue name '%1' cannot be used: it names a directory of its own.")
            .arg(name);
    }
    return {};
}

QString RemoteQueueNameProblem(const QString& name) {
    if (name.isEmpty()) {
        return "Must enter a Remote Queue name";
    }
    const QString refused =
        FirstRefused(name, [](QChar c) { return c.unicode() > 0x20 && c.unicode() != 0x7f; });
    if (!refused.isEmpty()) {
        return QString(
                   "The remote queue name '%1' holds %2, which cannot be sent to the remote "
                   "host.")
            .arg(name, refused);
    }
    return {};
}

QString RemoteHostProblem(const QString& host) {
    if (host.isEmpty()) {
        return "Must enter a Remote Host Address";
    }
    const QString refused = FirstRefused(host, [](QChar c) {
        return (IsNameCharacter(c) && c != u'_') || c == u':' || c == u'[' || c == u']';
    });
    if (!refused.isEmpty()) {
        return QString("The remote host '%1' holds %2: enter a host name or an address.")
            .arg(host, refused);
    }
    if (!host.contains(u'.') && !host.contains(u':')) {
        return QString(
                   "The remote host '%1' has no dot in it. Pressgate takes a queue whose "
                   "host has neither a dot nor a colon for a local queue when it starts, so "
                   "enter the full host name (printserver.example.com) or an address (such "
                   "as 127.0.0.1 or ::1 for this computer).")
            .arg(host);
    }
    SocketAddress address;
    int error = 0;
    if (!ResolveHost(host.toStdString(), 0, address, error)) {
        return QString(
                   "The remote host '%1' cannot be found: the name does not resolve to an "
                   "address.")
            .arg(host);
    }
    return {};
}

}  // namespace pg
