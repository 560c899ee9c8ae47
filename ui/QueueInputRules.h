#pragma once

#include <QString>

namespace pg {

// What the window refuses to store for a queue, each with the reason the operator reads. Every
// rule gives an empty text when the input is fine.

// A queue name LPR clients must be able to send: letters, digits, '.', '-' and '_' (blanks and
// other characters cannot travel in a queue name, and '@' and '%' mean host and port to LPRng).
QString QueueNameProblem(const QString& name);

// The queue name on a remote host: anything that fits in the command line Pressgate sends,
// so not empty and without blanks or control characters.
QString RemoteQueueNameProblem(const QString& name);

// A remote host must have a dot in it (pgate.ini reads a dotless host as a local queue's) and
// must resolve, with the resolver forwarding uses.
QString RemoteHostProblem(const QString& host);

}  // namespace pg
