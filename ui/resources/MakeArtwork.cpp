// pg_artwork: draws Pressgate's icons, splash picture and wizard picture into a directory.
// The PNGs are committed; run this again only to change the artwork:
//   cmake --build build --target pg_artwork && build/bin/pg_artwork ui/resources
//
// Every picture shares one palette (ink blue, teal, paper white, amber for attention, green for
// running) and one printer drawing, so the set reads as one family at 16 and at 32 pixels.

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor kInk(0x1f, 0x3a, 0x5f);
const QColor kInkLight(0x3d, 0x5f, 0x8a);
const QColor kTeal(0x2a, 0x7f, 0x8f);
const QColor kTealLight(0x5f, 0xb3, 0xbf);
const QColor kPaper(0xfb, 0xfb, 0xf7);
const QColor kPaperEdge(0x9a, 0xa5, 0xb1);
const QColor kAmber(0xf0, 0xa0, 0x30);
const QColor kGreen(0x3a, 0xa7, 0x57);
const QColor kRed(0xd0, 0x45, 0x3b);
const QColor kGrey(0x70, 0x78, 0x80);

using Drawing = std::function<void(QPainter&, double /*unit: size / 32*/)>;

bool Save(const QImage& image, const QString& path) {
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "pg_artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// Draws on a 32-unit square grid scaled to size pixels.
QImage Icon(int size, const Drawing& draw) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    draw(p, size / 32.0);
    return image;
}

// A pen of about one device pixel at any scale, never thinner.
QPen Hairline(const QColor& colour, double unit, double pixels = 1.0) {
    return QPen(colour, std::max(pixels / unit, 0.9), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// The printer every queue icon is built on, filling the 32-unit box.
void Printer(QPainter& p, double unit, const QColor& body, const QColor& bodyLight) {
    // Paper going in at the back.
    p.setPen(Hairline(kPaperEdge, unit));
    p.setBrush(kPaper);
    p.drawRect(QRectF(9, 3, 14, 10));
    p.setPen(Hairline(kTealLight, unit));
    for (double y = 6; y < 12; y += 2.5) {
        p.drawLine(QPointF(11, y), QPointF(21, y));
    }
    // Body.
    QLinearGradient gradient(0, 11, 0, 25);
    gradient.setColorAt(0, bodyLight);
    gradient.setColorAt(1, body);
    p.setPen(Hairline(body.darker(140), unit));
    p.setBrush(gradient);
    p.drawRoundedRect(QRectF(3, 11, 26, 13), 3, 3);
    // Output slot and the sheet coming out.
    p.setPen(Qt::NoPen);
    p.setBrush(body.darker(170));
    p.drawRect(QRectF(7, 19, 18, 2));
    p.setPen(Hairline(kPaperEdge, unit));
    p.setBrush(kPaper);
    p.drawRect(QRectF(9, 21, 14, 8));
    p.setPen(Hairline(kInkLight, unit));
    p.drawLine(QPointF(11, 24), QPointF(21, 24));
    p.drawLine(QPointF(11, 26.5), QPointF(18, 26.5));
    // Status light.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xa8, 0xe6, 0x8a));
    p.drawEllipse(QRectF(23.5, 14, 2.6, 2.6));
}

void Badge(QPainter& p, double unit, const QColor& colour, const QPointF& centre, double radius) {
    QRadialGradient gradient(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    gradient.setColorAt(0, colour.lighter(135));
    gradient.setColorAt(1, colour);
    p.setPen(Hairline(Qt::white, unit, 1.2));
    p.setBrush(gradient);
    p.drawEllipse(centre, radius, radius);
}

// Where the corner badge sits: larger at 16 pixels so its glyph stays readable.
struct BadgeSpot {
    QPointF centre;
    double radius;
};

BadgeSpot Spot(double unit) {
    return unit < 0.75 ? BadgeSpot{QPointF(22.5, 22.5), 9.5} : BadgeSpot{QPointF(24, 24), 7};
}

void PlusBadge(QPainter& p, double unit) {
    const BadgeSpot s = Spot(unit);
    Badge(p, unit, kGreen, s.centre, s.radius);
    const double arm = s.radius * 0.6;
    p.setPen(QPen(Qt::white, s.radius * 0.36, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(s.centre + QPointF(0, -arm), s.centre + QPointF(0, arm));
    p.drawLine(s.centre + QPointF(-arm, 0), s.centre + QPointF(arm, 0));
}

void CrossBadge(QPainter& p, double unit) {
    const BadgeSpot s = Spot(unit);
    Badge(p, unit, kRed, s.centre, s.radius);
    const double arm = s.radius * 0.45;
    p.setPen(QPen(Qt::white, s.radius * 0.34, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(s.centre + QPointF(-arm, -arm), s.centre + QPointF(arm, arm));
    p.drawLine(s.centre + QPointF(arm, -arm), s.centre + QPointF(-arm, arm));
}

void GlobeBadge(QPainter& p, double unit) {
    const BadgeSpot s = Spot(unit);
    Badge(p, unit, QColor(0x2f, 0x6f, 0xc0), s.centre, s.radius);
    p.setPen(Hairline(Qt::white, unit, 1.0));
    p.setBrush(Qt::NoBrush);
    const double r = s.radius * 0.85;
    p.drawEllipse(s.centre, r * 0.45, r);
    p.drawLine(s.centre + QPointF(-r, 0), s.centre + QPointF(r, 0));
}

void PlayGlyph(QPainter& p, const QPointF& c, double r, const QColor& colour) {
    QPainterPath triangle;
    triangle.moveTo(c + QPointF(-r * 0.55, -r * 0.8));
    triangle.lineTo(c + QPointF(r * 0.85, 0));
    triangle.lineTo(c + QPointF(-r * 0.55, r * 0.8));
    triangle.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(triangle);
}

void PauseGlyph(QPainter& p, const QPointF& c, double r, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(c.x() - r * 0.7, c.y() - r * 0.8, r * 0.5, r * 1.6), 0.8, 0.8);
    p.drawRoundedRect(QRectF(c.x() + r * 0.2, c.y() - r * 0.8, r * 0.5, r * 1.6), 0.8, 0.8);
}

void StopGlyph(QPainter& p, const QPointF& c, double r, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(c.x() - r * 0.65, c.y() - r * 0.65, r * 1.3, r * 1.3), 1, 1);
}

// A badge with a play or pause glyph: running and paused.
void StateBadge(QPainter& p, double unit, const QColor& colour,
                void (*glyph)(QPainter&, const QPointF&, double, const QColor&)) {
    const BadgeSpot s = Spot(unit);
    Badge(p, unit, colour, s.centre, s.radius);
    glyph(p, s.centre + QPointF(s.radius * 0.08, 0), s.radius * 0.6, Qt::white);
}

// A round button face for the daemon switch.
void RoundButton(QPainter& p, double unit, const QColor& colour) {
    Badge(p, unit, colour, QPointF(16, 16), 13);
}

// Four squares, nine squares, list and details: the view styles.
void ViewGlyph(QPainter& p, double unit, int style) {
    p.setPen(Hairline(kInk, unit));
    p.setBrush(kTealLight);
    switch (style) {
        case 0:  // large icons
            for (int i = 0; i < 4; ++i) {
                p.drawRoundedRect(QRectF(4 + (i % 2) * 13, 4 + (i / 2) * 13, 11, 11), 1.5, 1.5);
            }
            break;
        case 1:  // small icons
            for (int i = 0; i < 9; ++i) {
                p.drawRect(QRectF(4 + (i % 3) * 9, 4 + (i / 3) * 9, 6, 6));
            }
            break;
        case 2:  // list: two columns of small icons with text
            for (int i = 0; i < 6; ++i) {
                const double x = 3 + (i / 3) * 14;
                const double y = 5 + (i % 3) * 9;
                p.setPen(Hairline(kInk, unit));
                p.drawRect(QRectF(x, y, 5, 5));
                p.setPen(QPen(kInk, 2));
                p.drawLine(QPointF(x + 7.5, y + 2.5), QPointF(x + 12, y + 2.5));
            }
            break;
        default:  // details: rows with columns
            for (int i = 0; i < 4; ++i) {
                const double y = 5 + i * 6.5;
                p.setPen(Hairline(kInk, unit));
                p.drawRect(QRectF(3, y, 4.5, 4.5));
                p.setPen(QPen(kInk, 2));
                p.drawLine(QPointF(10, y + 2.25), QPointF(17, y + 2.25));
                p.drawLine(QPointF(20, y + 2.25), QPointF(24, y + 2.25));
                p.drawLine(QPointF(26, y + 2.25), QPointF(29, y + 2.25));
            }
            break;
    }
}

// A sheet with lines, the base of properties and queue viewer.
void Sheet(QPainter& p, double unit, const QRectF& rect) {
    p.setPen(Hairline(kPaperEdge.darker(120), unit));
    p.setBrush(kPaper);
    p.drawRect(rect);
    p.setPen(QPen(kInkLight, 1.6));
    for (double y = rect.top() + 4; y < rect.bottom() - 2; y += 4) {
        p.drawLine(QPointF(rect.left() + 3, y), QPointF(rect.right() - 3, y));
    }
}

struct IconSpec {
    const char* name;
    Drawing draw;
};

const IconSpec kIcons[] = {
    {"addprinter",
     [](QPainter& p, double u) {
         Printer(p, u, kInk, kInkLight);
         PlusBadge(p, u);
     }},
    {"localqueue", [](QPainter& p, double u) { Printer(p, u, kTeal, kTealLight); }},
    {"remotequeue",
     [](QPainter& p, double u) {
         Printer(p, u, kInk, kInkLight);
         GlobeBadge(p, u);
     }},
    {"tray-running",
     [](QPainter& p, double u) {
         Printer(p, u, kTeal, kTealLight);
         StateBadge(p, u, kGreen, PlayGlyph);
     }},
    {"tray-paused",
     [](QPainter& p, double u) {
         Printer(p, u, kGrey, kGrey.lighter(140));
         StateBadge(p, u, kAmber, PauseGlyph);
     }},
    {"activate",
     [](QPainter& p, double u) {
         RoundButton(p, u, kGreen);
         PlayGlyph(p, QPointF(17, 16), 9, Qt::white);
     }},
    {"deactivate",
     [](QPainter& p, double u) {
         RoundButton(p, u, kRed);
         StopGlyph(p, QPointF(16, 16), 9, Qt::white);
     }},
    {"properties",
     [](QPainter& p, double u) {
         Sheet(p, u, QRectF(5, 3, 19, 26));
         // A check box ticked on the sheet.
         p.setPen(Hairline(kInk, u));
         p.setBrush(Qt::white);
         p.drawRect(QRectF(17, 17, 11, 11));
         p.setPen(QPen(kGreen, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
         p.setBrush(Qt::NoBrush);
         QPainterPath tick;
         tick.moveTo(19, 22.5);
         tick.lineTo(21.5, 25.5);
         tick.lineTo(26.5, 19);
         p.drawPath(tick);
     }},
    {"viewqueue",
     [](QPainter& p, double u) {
         Sheet(p, u, QRectF(3, 3, 20, 25));
         // Magnifier.
         p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(23.5, 23.5), QPointF(29, 29));
         p.setPen(QPen(kInk, 2.2));
         p.setBrush(QColor(255, 255, 255, 170));
         p.drawEllipse(QPointF(19, 19), 6, 6);
     }},
    {"delete",
     [](QPainter& p, double u) {
         Printer(p, u, kGrey, kGrey.lighter(140));
         CrossBadge(p, u);
     }},
    {"resume",
     [](QPainter& p, double u) {
         Printer(p, u, kTeal, kTealLight);
         StateBadge(p, u, kGreen, PlayGlyph);
     }},
    {"pause",
     [](QPainter& p, double u) {
         Printer(p, u, kTeal, kTealLight);
         StateBadge(p, u, kAmber, PauseGlyph);
     }},
    {"clearmessages",
     [](QPainter& p, double u) {
         // A message window with its lines, and an eraser across it.
         p.setPen(Hairline(kInk, u));
         p.setBrush(Qt::white);
         p.drawRect(QRectF(3, 4, 24, 20));
         p.setPen(QPen(kGrey, 1.8));
         for (double y = 9; y < 22; y += 4) {
             p.drawLine(QPointF(6, y), QPointF(23, y));
         }
         p.save();
         p.translate(21, 22);
         p.rotate(-40);
         p.setPen(Hairline(kInk, u));
         p.setBrush(QColor(0xf2, 0x8d, 0x9a));
         p.drawRoundedRect(QRectF(-9, -4, 11, 8), 1.5, 1.5);
         p.setBrush(kPaper);
         p.drawRoundedRect(QRectF(2, -4, 7, 8), 1.5, 1.5);
         p.restore();
     }},
    {"largeicons", [](QPainter& p, double u) { ViewGlyph(p, u, 0); }},
    {"smallicons", [](QPainter& p, double u) { ViewGlyph(p, u, 1); }},
    {"list", [](QPainter& p, double u) { ViewGlyph(p, u, 2); }},
    {"detail", [](QPainter& p, double u) { ViewGlyph(p, u, 3); }},
};

// Sheets of paper flying from left to right, for the splash and the wizard.
void Sheets(QPainter& p, const QRectF& area, int count, double size, int seed) {
    unsigned state = static_cast<unsigned>(seed);
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return ((state >> 8) & 0xffff) / 65535.0;
    };
    for (int i = 0; i < count; ++i) {
        const double x = area.left() + next() * area.width();
        const double y = area.top() + next() * area.height();
        const double s = size * (0.6 + 0.6 * next());
        p.save();
        p.translate(x, y);
        p.rotate(-25 + 50 * next());
        p.setPen(QPen(QColor(255, 255, 255, 90), 1));
        p.setBrush(QColor(255, 255, 255, 40 + static_cast<int>(50 * next())));
        p.drawRect(QRectF(-s / 2, -s * 0.65, s, s * 1.3));
        p.restore();
    }
}

QImage BigPrinter(int size, const QColor& body, const QColor& light) {
    return Icon(size, [&](QPainter& p, double u) { Printer(p, u, body, light); });
}

QImage Splash() {
    const QSize size(537, 299);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient background(0, 0, size.width(), size.height());
    background.setColorAt(0, kInk);
    background.setColorAt(1, kTeal);
    p.fillRect(image.rect(), background);

    // Network lines in the background: the hosts the jobs come from.
    p.setPen(QPen(QColor(255, 255, 255, 35), 1.5));
    const QPointF hub(140, 150);
    const QPointF hosts[] = {{20, 40}, {30, 250}, {250, 30}, {60, 150}, {260, 270}, {120, 280}};
    for (const QPointF& host : hosts) {
        p.drawLine(host, hub);
        p.setBrush(QColor(255, 255, 255, 45));
        p.drawEllipse(host, 5, 5);
    }
    Sheets(p, QRectF(200, 20, 320, 110), 9, 16, 7);

    p.drawImage(QPointF(40, 60), BigPrinter(192, kTeal.lighter(115), kTealLight.lighter(120)));

    p.setPen(Qt::white);
    QFont title("DejaVu Sans", 33, QFont::Bold);
    p.setFont(title);
    p.drawText(QRectF(250, 92, 280, 60), Qt::AlignLeft | Qt::AlignVCenter, "Pressgate");
    QFont subtitle("DejaVu Sans", 13);
    p.setFont(subtitle);
    p.setPen(QColor(0xdd, 0xee, 0xf2));
    p.drawText(QRectF(254, 152, 280, 24), Qt::AlignLeft | Qt::AlignVCenter,
               "Line Printer Daemon for Linux");
    p.setPen(kAmber);
    p.drawLine(QPointF(254, 184), QPointF(480, 184));
    QFont small("DejaVu Sans", 9);
    p.setFont(small);
    p.setPen(QColor(0xc8, 0xdc, 0xe4));
    p.drawText(QRectF(254, 190, 280, 20), Qt::AlignLeft | Qt::AlignVCenter,
               "RFC 1179 print server and forwarder");
    // A thin frame, as the picture has no window border.
    p.setPen(QPen(QColor(255, 255, 255, 60), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1));
    return image;
}

QImage WizardPicture() {
    const QSize size(124, 232);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, size.height());
    background.setColorAt(0, kTeal);
    background.setColorAt(1, kInk);
    p.fillRect(image.rect(), background);
    Sheets(p, QRectF(10, 10, 104, 90), 7, 14, 3);
    // Two hosts linked to the printer.
    p.setPen(QPen(QColor(255, 255, 255, 70), 1.5));
    p.drawLine(QPointF(22, 200), QPointF(62, 150));
    p.drawLine(QPointF(102, 200), QPointF(62, 150));
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawEllipse(QPointF(22, 200), 6, 6);
    p.drawEllipse(QPointF(102, 200), 6, 6);
    p.drawImage(QPointF(14, 80), BigPrinter(96, kTeal.lighter(120), kTealLight.lighter(125)));
    p.setPen(QPen(QColor(255, 255, 255, 60), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1));
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: pg_artwork DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    dir.mkpath("icons");
    bool ok = true;
    for (const IconSpec& icon : kIcons) {
        for (int size : {16, 32}) {
            ok &= Save(Icon(size, icon.draw),
                       dir.filePath(QString("icons/%1-%2.png").arg(icon.name).arg(size)));
        }
    }
    ok &= Save(Icon(64, kIcons[1].draw), dir.filePath("icons/pressgate-64.png"));
    ok &= Save(Splash(), dir.filePath("splash.png"));
    ok &= Save(WizardPicture(), dir.filePath("wizard.png"));
    return ok ? 0 : 1;
}
