// libpgabout.so: Pressgate's about box, a library of its own that the window loads when the
// operator asks for it (Help "About") and unloads again.

#include <QApplication>
#include <QMessageBox>
#include <QString>

extern "C" __attribute__((visibility("default"))) void ShowAbout(const char* text);

// text: the product name the box is about.
void ShowAbout(const char* text) {
    const QString product = QString::fromUtf8(text ? text : "");
    const QString body =
        QStringLiteral(
            "<h3>%1</h3>"
            "<p>Version " PRESSGATE_VERSION
            "</p>"
            "<p>A line printer daemon (RFC 1179) for Linux: it accepts print jobs from LPR "
            "clients, spools them, and prints them on a local printer or forwards them to "
            "another LPD host.</p>"
            "<p>Built with Qt %2.</p>")
            .arg(product.toHtmlEscaped(), QString::fromLatin1(qVersion()));
    QMessageBox::about(QApplication::activeWindow(), QStringLiteral("About %1").arg(product), body);
}
