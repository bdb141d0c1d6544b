#pragma once

// Rendered pieces of real interfaces for the recognition benchmark: menus, tables, panes,
// dialogs, terminals, code, chat, notifications, toolbars and file lists, in English,
// Ukrainian and both, light and dark, 11-16 px, greyscale and subpixel antialiasing, at
// pixel ratios 1 and 2. Each comes with the text a person copying it expects, row by row:
// cells of a row joined by a tab, words by one space, blocks side by side one after the
// other (left first), no blank lines.

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>

namespace ivra::bench {

enum class Language { English, Ukrainian, Mixed };

struct SceneStyle {
    QString family; // proportional interface font
    QString mono;   // terminal and code font
    int sizePx = 13;
    bool dark = false;
    bool subpixel = false;
    int ratio = 1;
    Language language = Language::English;
    int variant = 0; // picks among texts and arrangements
};

struct Scene {
    QString kind;
    QImage image;
    QStringList expected; // rows
};

namespace scenes {

inline QString pick(const SceneStyle& style, int index, const QStringList& english,
                    const QStringList& ukrainian) {
    const bool uk = style.language == Language::Ukrainian ||
                    (style.language == Language::Mixed && (index + style.variant) % 2 == 1);
    const QStringList& pool = uk ? ukrainian : english;
    return pool[(index + style.variant * 3) % pool.size()];
}

struct Colours {
    QColor window, text, dim, accent, accentText, line, alt, title, titleText;
};

inline Colours coloursFor(const SceneStyle& style) {
    if (style.dark) {
        return {QColor(36, 38, 43),   QColor(225, 228, 232), QColor(150, 156, 165),
                QColor(61, 132, 214), QColor(255, 255, 255), QColor(70, 74, 82),
                QColor(44, 47, 53),   QColor(24, 26, 30),    QColor(235, 237, 240)};
    }
    return {QColor(252, 252, 252), QColor(32, 33, 36),    QColor(110, 115, 122),
            QColor(53, 132, 228),  QColor(255, 255, 255), QColor(205, 208, 214),
            QColor(242, 244, 247), QColor(228, 230, 234), QColor(32, 33, 36)};
}

// Paints at logical coordinates; the image holds ratio x as many pixels.
class Canvas {
public:
    Canvas(QSize logical, const SceneStyle& style, QColor ground)
        : m_style(style) {
        const int widen = style.subpixel ? 3 : 1;
        m_image = QImage(logical.width() * style.ratio * widen, logical.height() * style.ratio,
                         QImage::Format_RGB32);
        m_image.fill(ground);
        m_painter.begin(&m_image);
        m_painter.setRenderHint(QPainter::Antialiasing);
        m_painter.setRenderHint(QPainter::TextAntialiasing);
        m_painter.scale(style.ratio * widen, style.ratio);
    }
    QPainter& painter() { return m_painter; }

    QFont font(bool mono = false, bool bold = false, double scale = 1.0) const {
        QFont f(mono ? m_style.mono : m_style.family);
        f.setPixelSize(static_cast<int>(std::lround(m_style.sizePx * scale)));
        f.setBold(bold);
        f.setHintingPreference(QFont::PreferNoHinting);
        return f;
    }
    // Text with its left end at x, vertically centred on y; returns its width.
    int text(int x, int y, const QString& s, const QColor& colour, const QFont& f) {
        m_painter.setFont(f);
        m_painter.setPen(colour);
        const QFontMetrics metrics(f);
        m_painter.drawText(x, y + (metrics.ascent() - metrics.descent()) / 2, s);
        return metrics.horizontalAdvance(s);
    }
    int rightText(int right, int y, const QString& s, const QColor& colour, const QFont& f) {
        const int w = QFontMetrics(f).horizontalAdvance(s);
        text(right - w, y, s, colour, f);
        return w;
    }

    QImage finish() {
        m_painter.end();
        QImage image = m_style.subpixel ? subpixelDown(m_image) : m_image;
        image.setDevicePixelRatio(m_style.ratio);
        return image;
    }

private:
    // Three horizontal samples per pixel become its red, green and blue, through the
    // usual light filter against colour fringes.
    static QImage subpixelDown(const QImage& wide) {
        const int width = wide.width() / 3;
        QImage out(width, wide.height(), QImage::Format_RGB32);
        constexpr int kTaps[5] = {1, 2, 3, 2, 1};
        for (int y = 0; y < wide.height(); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(wide.constScanLine(y));
            auto* target = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < width; ++x) {
                int channel[3];
                for (int c = 0; c < 3; ++c) {
                    const int centre = 3 * x + c;
                    int sum = 0;
                    for (int t = -2; t <= 2; ++t) {
                        const int s = std::clamp(centre + t, 0, wide.width() - 1);
                        const QRgb p = in[s];
                        const int v = c == 0 ? qRed(p) : c == 1 ? qGreen(p) : qBlue(p);
                        sum += kTaps[t + 2] * v;
                    }
                    channel[c] = sum / 9;
                }
                target[x] = qRgb(channel[0], channel[1], channel[2]);
            }
        }
        return out;
    }

    SceneStyle m_style;
    QImage m_image;
    QPainter m_painter;
};

// Small icons drawn as interfaces draw them: a folder, a page, a gear-like disc, a bell.
inline void drawIcon(QPainter& p, int kind, const QRectF& r, const QColor& colour) {
    p.save();
    p.setPen(QPen(colour, 1.4));
    p.setBrush(Qt::NoBrush);
    switch (kind % 5) {
    case 0: { // folder
        QPainterPath path;
        path.moveTo(r.left(), r.top() + r.height() * 0.2);
        path.lineTo(r.left() + r.width() * 0.4, r.top() + r.height() * 0.2);
        path.lineTo(r.left() + r.width() * 0.5, r.top() + r.height() * 0.35);
        path.lineTo(r.right(), r.top() + r.height() * 0.35);
        path.lineTo(r.right(), r.bottom());
        path.lineTo(r.left(), r.bottom());
        path.closeSubpath();
        p.setBrush(colour);
        p.drawPath(path);
        break;
    }
    case 1: // page
        p.drawRect(r.adjusted(r.width() * 0.15, 0, -r.width() * 0.15, 0));
        p.drawLine(QPointF(r.left() + r.width() * 0.3, r.center().y()),
                   QPointF(r.right() - r.width() * 0.3, r.center().y()));
        break;
    case 2: // disc with a hole
        p.setBrush(colour);
        p.drawEllipse(r);
        p.setBrush(Qt::white);
        p.drawEllipse(
            r.adjusted(r.width() * 0.32, r.height() * 0.32, -r.width() * 0.32, -r.height() * 0.32));
        break;
    case 3: // bell-ish
        p.setBrush(colour);
        p.drawRoundedRect(
            r.adjusted(r.width() * 0.2, r.height() * 0.1, -r.width() * 0.2, -r.height() * 0.25), 3,
            3);
        p.drawEllipse(QRectF(r.center().x() - 2, r.bottom() - 3, 4, 3));
        break;
    default: // picture
        p.drawRect(r);
        p.setBrush(colour);
        QPolygonF hill;
        hill << QPointF(r.left(), r.bottom())
             << QPointF(r.center().x(), r.top() + r.height() * 0.45)
             << QPointF(r.right(), r.bottom());
        p.drawPolygon(hill);
        break;
    }
    p.restore();
}

inline Scene menu(const SceneStyle& s) {
    const Colours c = coloursFor(s);
    const QStringList en = {"New Window", "Open File",  "Open Recent", "Save", "Save As",
                            "Print",      "Close Tab",  "Undo",        "Redo", "Find",
                            "Replace",    "Select All", "Preferences", "Quit"};
    const QStringList uk = {"Нове вікно",   "Відкрити файл", "Недавні",         "Зберегти",
                            "Зберегти як",  "Друкувати",     "Закрити вкладку", "Скасувати",
                            "Повторити",    "Знайти",        "Замінити",        "Виділити все",
                            "Налаштування", "Вийти"};
    const QStringList keys = {"Ctrl+N", "Ctrl+O", "",       "Ctrl+S",       "Ctrl+Shift+S",
                              "Ctrl+P", "Ctrl+W", "Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+F",
                              "Ctrl+H", "Ctrl+A", "",       "Ctrl+Q"};
    const int items = 6 + s.variant % 3;
    const int pitch = static_cast<int>(s.sizePx * 2.1);
    const int width = s.sizePx * 22;
    Canvas canvas(QSize(width + 40, items * pitch + 40), s, c.alt);
    QPainter& p = canvas.painter();
    p.fillRect(QRect(20, 20, width, items * pitch), c.window);
    p.setPen(c.line);
    p.drawRect(QRect(20, 20, width, items * pitch));
    QStringList expected;
    const int highlighted = 1 + s.variant % (items - 1);
    for (int i = 0; i < items; ++i) {
        const int index = (i + s.variant * 2) % en.size();
        const QString name = pick(s, index, en, uk);
        const QString key = keys[index % keys.size()];
        const int y = 20 + i * pitch + pitch / 2;
        QColor ink = c.text;
        if (i == highlighted) {
            p.fillRect(QRect(22, 20 + i * pitch + 1, width - 4, pitch - 2), c.accent);
            ink = c.accentText;
        }
        canvas.text(20 + s.sizePx * 2, y, name, ink, canvas.font());
        if (!key.isEmpty()) {
            canvas.rightText(20 + width - s.sizePx, y, key, i == highlighted ? ink : c.dim,
                             canvas.font());
            expected << name + "\t" + key;
        } else {
            expected << name;
        }
    }
    return {"menu", canvas.finish(), expected};
}

inline Scene table(const SceneStyle& s, bool grid) {
    const Colours c = coloursFor(s);
    const QStringList enNames = {"report.pdf",     "Holiday photos", "notes.txt",
                                 "Budget 2025",    "screenshot.png", "Music",
                                 "invoice-17.pdf", "Projects"};
    const QStringList ukNames = {"Звіт квартал",  "Фото з відпустки", "Нотатки",    "Кошторис",
                                 "Знімок екрана", "Музика",           "Рахунок 17", "Проєкти"};
    const QStringList enKinds = {"Document", "Folder", "Text",     "Spreadsheet",
                                 "Image",    "Folder", "Document", "Folder"};
    const QStringList ukKinds = {"Документ",   "Тека", "Текст",    "Таблиця",
                                 "Зображення", "Тека", "Документ", "Тека"};
    const QStringList sizes = {"24 KB",  "1.2 GB", "3 KB",   "88 KB",
                               "640 KB", "4.7 GB", "112 KB", "230 MB"};
    const QStringList dates = {"12.05.2025", "03.01.2024", "28.11.2024", "07.07.2025",
                               "19.02.2025", "30.09.2023", "14.04.2025", "01.12.2024"};
    const bool uk = s.language != Language::English;
    const QStringList header = uk ? QStringList{"Назва", "Тип", "Розмір", "Змінено"}
                                  : QStringList{"Name", "Type", "Size", "Modified"};
    const int rows = 5 + s.variant % 3;
    const int pitch = static_cast<int>(s.sizePx * (grid ? 2.0 : 1.8));
    const QFontMetrics m(Canvas(QSize(1, 1), s, c.window).font());
    const int w0 = s.sizePx * 12;
    const int w1 = s.sizePx * 8;
    const int w2 = s.sizePx * 6;
    const int w3 = s.sizePx * 7;
    const int widths[4] = {w0, w1, w2, w3};
    const int total = w0 + w1 + w2 + w3;
    Canvas canvas(QSize(total + 40, (rows + 1) * pitch + 40), s, c.window);
    QPainter& p = canvas.painter();
    QStringList expected;
    const int selected = s.variant % 2 ? 2 + s.variant % (rows - 2) : -1;
    for (int r = 0; r <= rows; ++r) {
        const int top = 20 + r * pitch;
        QStringList cells;
        if (r == 0) {
            p.fillRect(QRect(20, top, total, pitch), c.alt);
            cells = header;
        } else {
            const int k = (r - 1 + s.variant) % enNames.size();
            const bool ukRow =
                s.language == Language::Ukrainian || (s.language == Language::Mixed && r % 2 == 0);
            cells = {ukRow ? ukNames[k] : enNames[k], uk ? ukKinds[k] : enKinds[k], sizes[k],
                     dates[k]};
            if (!grid && r % 2 == 0) {
                p.fillRect(QRect(20, top, total, pitch), c.alt);
            }
            if (r == selected) {
                p.fillRect(QRect(20, top, total, pitch), c.accent);
            }
        }
        int x = 20;
        for (int col = 0; col < 4; ++col) {
            const QColor ink = r == selected ? c.accentText : c.text;
            canvas.text(x + s.sizePx / 2, top + pitch / 2, cells[col], ink,
                        canvas.font(false, r == 0));
            x += widths[col];
        }
        expected << cells.join("\t");
    }
    if (grid) {
        p.setPen(QPen(c.line, 1));
        int x = 20;
        for (int col = 0; col <= 4; ++col) {
            p.drawLine(x, 20, x, 20 + (rows + 1) * pitch);
            x += col < 4 ? widths[col] : 0;
        }
        for (int r = 0; r <= rows + 1; ++r) {
            p.drawLine(20, 20 + r * pitch, 20 + total, 20 + r * pitch);
        }
    }
    return {grid ? "table_grid" : "table_plain", canvas.finish(), expected};
}

inline QStringList proseLines(const SceneStyle& s, int count, int offset) {
    const QStringList en = {"Captures are kept in the history for thirty days",
                            "Choose a folder where new screenshots are saved",
                            "The shortcut works in every keyboard layout",
                            "Recording stops when the disk is almost full",
                            "Pinned captures stay above other windows",
                            "Text recognition reads English and Ukrainian"};
    const QStringList uk = {"Знімки зберігаються в історії тридцять днів",
                            "Оберіть теку для нових знімків екрана",
                            "Ґатунок знімків можна змінити в ґаджеті",
                            "Запис зупиняється, коли диск майже повний",
                            "Закріплені знімки лишаються над іншими вікнами",
                            "Розпізнавання тексту читає англійську й українську"};
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        lines << pick(s, i + offset, en, uk);
    }
    return lines;
}

inline QStringList terminalLines(const SceneStyle& s, int count, int offset) {
    const QStringList en = {"olena@desk:~/src/ivra$ make test",
                            "error: no such file or directory",
                            "Compiling recognition (release)",
                            "olena@desk:~$ git status",
                            "On branch main, nothing to commit",
                            "warning: unused variable count",
                            "Finished in 4.2 seconds"};
    const QStringList uk = {"olena@desk:~/Документи$ ls",      "помилка: немає такого файлу",
                            "Збирання завершено за 12 секунд", "olena@desk:~$ git status",
                            "Гілка main, нічого комітити",     "попередження: змінна не вживається",
                            "Готово: 3 файли оновлено"};
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        lines << pick(s, i + offset, en, uk);
    }
    return lines;
}

inline Scene panes(const SceneStyle& s) {
    const Colours c = coloursFor(s);
    const int lines = 4 + s.variant % 2;
    const int pitch = static_cast<int>(s.sizePx * 1.7);
    const QStringList left = proseLines(s, lines, s.variant);
    const bool terminal = s.variant % 2 == 0;
    const QStringList right =
        terminal ? terminalLines(s, lines, s.variant) : proseLines(s, lines, s.variant + 3);
    Canvas probe(QSize(1, 1), s, c.window);
    int leftWidth = 0;
    for (const QString& l : left) {
        leftWidth = std::max(leftWidth, QFontMetrics(probe.font()).horizontalAdvance(l));
    }
    int rightWidth = 0;
    for (const QString& l : right) {
        rightWidth = std::max(rightWidth, QFontMetrics(probe.font(terminal)).horizontalAdvance(l));
    }
    const int paneLeft = leftWidth + 2 * s.sizePx;
    const int height = (lines + 1) * pitch + 2 * s.sizePx;
    Canvas canvas(QSize(paneLeft + rightWidth + 3 * s.sizePx, height), s, c.window);
    QPainter& p = canvas.painter();
    const QColor termGround = terminal ? QColor(18, 20, 24) : c.window;
    const QColor termInk = terminal ? QColor(210, 214, 220) : c.text;
    if (terminal) {
        p.fillRect(QRect(paneLeft, 0, rightWidth + 3 * s.sizePx, height), termGround);
    } else {
        p.setPen(c.line);
        p.drawLine(paneLeft, 4, paneLeft, height - 4);
    }
    QStringList expected;
    for (int i = 0; i < lines; ++i) {
        canvas.text(s.sizePx, s.sizePx + i * pitch + pitch / 2, left[i], c.text, canvas.font());
        expected << left[i];
    }
    const int offset = s.variant % 3 == 0 ? pitch / 3 : 0; // lines need not share rows
    for (int i = 0; i < lines; ++i) {
        canvas.text(paneLeft + s.sizePx, s.sizePx + offset + i * pitch + pitch / 2, right[i],
                    termInk, canvas.font(terminal));
        expected << right[i];
    }
    return {"panes", canvas.finish(), expected};
}

inline Scene dialog(const SceneStyle& s) {
    const Colours c = coloursFor(s);
    const bool uk = s.language != Language::English;
    const QString title = uk ? "Зберегти зміни?" : "Save changes?";
    const QStringList message = uk ? QStringList{"Документ містить незбережені зміни.",
                                                 "Якщо закрити його, їх буде втрачено."}
                                   : QStringList{"The document has unsaved changes.",
                                                 "If you close it, they will be lost."};
    const QString check = uk ? "Більше не питати" : "Do not ask again";
    const QStringList buttons =
        uk ? QStringList{"Скасувати", "Зберегти"} : QStringList{"Cancel", "Save"};
    const int u = s.sizePx;
    const int width = u * 28;
    const int height = u * 16;
    Canvas canvas(QSize(width, height), s, c.window);
    QPainter& p = canvas.painter();
    p.fillRect(QRect(0, 0, width, u * 3), c.title);
    canvas.text(u, u * 3 / 2, title, c.titleText, canvas.font(false, true));
    QStringList expected{title};
    for (int i = 0; i < message.size(); ++i) {
        canvas.text(u, u * 5 + i * u * 17 / 10, message[i], c.text, canvas.font());
        expected << message[i];
    }
    p.setPen(QPen(c.dim, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(u, u * 9 - u / 2, u, u), 2, 2);
    canvas.text(u * 5 / 2 + 2, u * 9, check, c.text, canvas.font());
    expected << check;
    const int bw = u * 8;
    const int by = u * 12;
    for (int i = 0; i < 2; ++i) {
        const QRect r(width - (2 - i) * (bw + u), by, bw, u * 2 + u / 2);
        p.setPen(QPen(c.line, 1));
        p.setBrush(i == 1 ? c.accent : c.alt);
        p.drawRoundedRect(r, 4, 4);
        const int tw = QFontMetrics(canvas.font()).horizontalAdvance(buttons[i]);
        canvas.text(r.center().x() - tw / 2, r.center().y(), buttons[i],
                    i == 1 ? c.accentText : c.text, canvas.font());
    }
    expected << buttons.join("\t");
    return {"dialog", canvas.finish(), expected};
}

inline Scene terminal(const SceneStyle& s, bool dark) {
    const int lines = 5 + s.variant % 3;
    const QStringList text = terminalLines(s, lines, s.variant);
    const QColor ground = dark ? QColor(12, 12, 14) : QColor(255, 255, 255);
    const QColor ink = dark ? QColor(204, 204, 204) : QColor(40, 40, 40);
    const QColor prompt = dark ? QColor(98, 200, 98) : QColor(30, 120, 40);
    const int pitch = static_cast<int>(s.sizePx * 1.35);
    Canvas probe(QSize(1, 1), s, ground);
    int width = 0;
    for (const QString& l : text) {
        width = std::max(width, QFontMetrics(probe.font(true)).horizontalAdvance(l));
    }
    Canvas canvas(QSize(width + 2 * s.sizePx, lines * pitch + 2 * s.sizePx), s, ground);
    for (int i = 0; i < lines; ++i) {
        const QString& l = text[i];
        const int y = s.sizePx + i * pitch + pitch / 2;
        const int dollar = l.indexOf('$');
        if (dollar > 0) {
            const QString head = l.left(dollar + 1);
            const int w = canvas.text(s.sizePx, y, head, prompt, canvas.font(true, true));
            canvas.text(s.sizePx + w, y, l.mid(dollar + 1), ink, canvas.font(true));
        } else {
            canvas.text(s.sizePx, y, l, ink, canvas.font(true));
        }
    }
    return {dark ? "terminal_dark" : "terminal_light", canvas.finish(), text};
}

inline Scene code(const SceneStyle& s) {
    struct Piece {
        QString text;
        int colour; // 0 plain, 1 keyword, 2 string, 3 comment, 4 number
    };
    const bool uk = s.language != Language::English;
    const std::vector<std::vector<Piece>> source = {
        {{"// ", 3}, {uk ? "Зберегти знімок у теці" : "Save the capture in a folder", 3}},
        {{"bool ", 1}, {"saveCapture(const QImage& image) {", 0}},
        {{"    const auto ", 1},
         {"path = folder + ", 0},
         {uk ? "\"/знімок.png\"" : "\"/shot.png\"", 2},
         {";", 0}},
        {{"    if ", 1}, {"(image.width() > ", 0}, {"4096", 4}, {") {", 0}},
        {{"        return ", 1}, {"false;", 0}},
        {{"    }", 0}},
        {{"    return ", 1}, {"image.save(path, ", 0}, {"\"PNG\"", 2}, {");", 0}},
        {{"}", 0}},
    };
    const QColor ground = s.dark ? QColor(30, 31, 34) : QColor(255, 255, 255);
    const QColor colours[5] = {s.dark ? QColor(212, 212, 212) : QColor(36, 36, 36),
                               s.dark ? QColor(86, 156, 214) : QColor(0, 0, 200),
                               s.dark ? QColor(206, 145, 120) : QColor(163, 21, 21),
                               s.dark ? QColor(106, 153, 85) : QColor(0, 128, 0),
                               s.dark ? QColor(181, 206, 168) : QColor(9, 134, 88)};
    const int pitch = static_cast<int>(s.sizePx * 1.45);
    const int count = 5 + s.variant % 4;
    Canvas canvas(QSize(s.sizePx * 40, count * pitch + 2 * s.sizePx), s, ground);
    QStringList expected;
    for (int i = 0; i < count; ++i) {
        int x = s.sizePx;
        QString line;
        for (const Piece& piece : source[static_cast<size_t>(i)]) {
            x += canvas.text(x, s.sizePx + i * pitch + pitch / 2, piece.text, colours[piece.colour],
                             canvas.font(true));
            line += piece.text;
        }
        expected << line.trimmed();
    }
    return {"code", canvas.finish(), expected};
}

inline Scene chat(const SceneStyle& s) {
    const Colours c = coloursFor(s);
    const QStringList en = {"Did you get the screenshots?", "Yes, thanks! They look great",
                            "Can you send the table too?",  "Sure, give me a minute",
                            "The meeting moved to 3 pm",    "Okay, see you there"};
    const QStringList uk = {"Ти отримала знімки екрана?",  "Так, дякую! Виглядають чудово",
                            "Можеш надіслати ще таблицю?", "Звісно, за хвилину",
                            "Зустріч перенесли на третю",  "Добре, побачимося"};
    const int count = 4 + s.variant % 3;
    const int u = s.sizePx;
    const int width = u * 30;
    const int pitch = u * 4;
    Canvas canvas(QSize(width, count * pitch + u * 2), s, c.window);
    QPainter& p = canvas.painter();
    QStringList expected;
    for (int i = 0; i < count; ++i) {
        const QString msg = pick(s, i, en, uk);
        const QString who = i % 2 ? (s.language == Language::English ? "Olena" : "Олена")
                                  : (s.language == Language::English ? "Taras" : "Тарас");
        const QString time = QString("10:%1").arg(12 + i * 3);
        const int tw = QFontMetrics(canvas.font()).horizontalAdvance(msg) + u * 2;
        const bool mine = i % 2 == 1;
        const int top = u + i * pitch;
        const QRect bubble(mine ? width - tw - u : u, top + u * 3 / 2, tw, u * 2);
        p.setPen(Qt::NoPen);
        p.setBrush(mine ? c.accent : c.alt);
        p.drawRoundedRect(bubble, u / 2, u / 2);
        canvas.text(bubble.left(), top + u * 3 / 4, who + " " + time, c.dim,
                    canvas.font(false, false, 0.85));
        canvas.text(bubble.left() + u, bubble.center().y(), msg, mine ? c.accentText : c.text,
                    canvas.font());
        expected << who + " " + time << msg;
    }
    return {"chat", canvas.finish(), expected};
}

inline Scene notification(const SceneStyle& s) {
    const Colours c = coloursFor(s);
    const bool uk = s.language != Language::English;
    const QStringList titles =
        uk ? QStringList{"Знімок збережено", "Запис зупинено", "Текст скопійовано"}
           : QStringList{"Screenshot saved", "Recording stopped", "Text copied"};
    const QStringList bodies =
        uk ? QStringList{"Файл лежить у теці Зображення", "Тривалість 2 хвилини 14 секунд",
                         "Вставте його в будь-яку програму"}
           : QStringList{"The file is in your Pictures folder", "Length 2 minutes 14 seconds",
                         "Paste it into any program"};
    const QString when = uk ? "щойно" : "now";
    const int u = s.sizePx;
    const int width = u * 28;
    Canvas canvas(QSize(width + 2 * u, u * 8), s,
                  s.dark ? QColor(20, 20, 22) : QColor(210, 212, 216));
    QPainter& p = canvas.painter();
    p.setPen(Qt::NoPen);
    p.setBrush(c.window);
    p.drawRoundedRect(QRect(u, u, width, u * 6), u / 2, u / 2);
    drawIcon(p, s.variant, QRectF(u * 2, u * 2, u * 2.4, u * 2.4), c.accent);
    const int k = s.variant % titles.size();
    canvas.text(u * 5 + u / 2, u * 5 / 2, titles[k], c.text, canvas.font(false, true));
    canvas.rightText(width - u / 2, u * 5 / 2, when, c.dim, canvas.font(false, false, 0.9));
    canvas.text(u * 5 + u / 2, u * 9 / 2, bodies[k], c.dim, canvas.font());
    return {"notification", canvas.finish(), {titles[k] + "\t" + when, bodies[k]}};
}

inline Scene toolbar(const SceneStyle& s) {
    const Colours c = coloursFor(s);
    const QStringList en = {"Open", "Save", "Copy", "Share", "Crop", "Undo", "Print"};
    const QStringList uk = {"Відкрити", "Зберегти",  "Копіювати", "Поділитися",
                            "Обрізати", "Скасувати", "Друк"};
    const int count = 4 + s.variant % 2;
    const int u = s.sizePx;
    QStringList labels;
    for (int i = 0; i < count; ++i) {
        labels << pick(s, i + s.variant, en, uk);
    }
    Canvas probe(QSize(1, 1), s, c.window);
    int width = u;
    for (const QString& l : labels) {
        width += QFontMetrics(probe.font()).horizontalAdvance(l) + u * 4;
    }
    Canvas canvas(QSize(width + u, u * 4), s, c.alt);
    QPainter& p = canvas.painter();
    int x = u;
    for (int i = 0; i < count; ++i) {
        drawIcon(p, i + s.variant, QRectF(x, u * 1.2, u * 1.5, u * 1.5), c.text);
        x += u * 2;
        x += canvas.text(x, u * 2, labels[i], c.text, canvas.font()) + u * 2;
        if (i + 1 < count) {
            p.setPen(c.line);
            p.drawLine(x - u, u, x - u, u * 3);
        }
    }
    return {"toolbar", canvas.finish(), {labels.join("\t")}};
}

inline Scene fileList(const SceneStyle& s) {
    const Colours c = coloursFor(s);
    const QStringList en = {"Documents", "Downloads", "Pictures",   "Music",
                            "Videos",    "notes.txt", "report.pdf", "Desktop"};
    const QStringList uk = {"Документи", "Завантаження", "Зображення", "Музика",
                            "Відео",     "нотатки.txt",  "звіт.pdf",   "Стільниця"};
    const QStringList en2 = {"12 items", "3 items", "48 items", "7 items",
                             "2 items",  "4 KB",    "1.1 MB",   "5 items"};
    const QStringList uk2 = {"12 об'єктів", "3 об'єкти", "48 об'єктів", "7 об'єктів",
                             "2 об'єкти",   "4 КБ",      "1,1 МБ",      "5 об'єктів"};
    const int count = 5 + s.variant % 3;
    const int u = s.sizePx;
    const int pitch = static_cast<int>(u * 2.2);
    Canvas canvas(QSize(u * 26, count * pitch + 2 * u), s, c.window);
    QPainter& p = canvas.painter();
    QStringList expected;
    const int selected = s.variant % count;
    for (int i = 0; i < count; ++i) {
        const int k = (i + s.variant) % en.size();
        const bool ukRow =
            s.language == Language::Ukrainian || (s.language == Language::Mixed && i % 2 == 1);
        const QString name = ukRow ? uk[k] : en[k];
        const QString detail = ukRow ? uk2[k] : en2[k];
        const int y = u + i * pitch + pitch / 2;
        QColor ink = c.text;
        if (i == selected) {
            p.fillRect(QRect(0, u + i * pitch, u * 26, pitch), c.accent);
            ink = c.accentText;
        }
        drawIcon(p, k < 5 ? 0 : 1, QRectF(u, y - u * 0.6, u * 1.2, u * 1.2),
                 i == selected ? c.accentText : c.accent);
        canvas.text(u * 3, y, name, ink, canvas.font());
        canvas.text(u * 17, y, detail, i == selected ? ink : c.dim, canvas.font());
        expected << name + "\t" + detail;
    }
    return {"filelist", canvas.finish(), expected};
}

} // namespace scenes

// The whole set: each kind in eight styles that cycle through the fonts, sizes, grounds,
// antialiasing, pixel ratios and languages.
inline std::vector<Scene> interfaceScenes(const QStringList& families, const QStringList& monos) {
    using Make = std::function<Scene(const SceneStyle&)>;
    const std::vector<Make> kinds = {
        scenes::menu,
        [](const SceneStyle& s) { return scenes::table(s, true); },
        [](const SceneStyle& s) { return scenes::table(s, false); },
        scenes::panes,
        scenes::dialog,
        [](const SceneStyle& s) { return scenes::terminal(s, false); },
        [](const SceneStyle& s) { return scenes::terminal(s, true); },
        scenes::code,
        scenes::chat,
        scenes::notification,
        scenes::toolbar,
        scenes::fileList,
    };
    const int sizes[] = {11, 12, 13, 14, 15, 16};
    std::vector<Scene> set;
    int n = 0;
    for (size_t k = 0; k < kinds.size(); ++k) {
        for (int v = 0; v < 8; ++v, ++n) {
            SceneStyle style;
            style.family = families[(n * 3 + static_cast<int>(k)) % families.size()];
            style.mono = monos[(n + v) % monos.size()];
            style.sizePx = sizes[(n * 5 + v) % 6];
            style.dark = (v + static_cast<int>(k)) % 2 == 1;
            style.subpixel = (v / 2) % 2 == 1;
            style.ratio = v % 4 == 3 ? 2 : 1;
            style.language = static_cast<Language>((v + static_cast<int>(k)) % 3);
            style.variant = v;
            set.push_back(kinds[k](style));
        }
    }
    return set;
}

} // namespace ivra::bench
