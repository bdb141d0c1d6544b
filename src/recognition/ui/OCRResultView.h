#pragma once

#include <QString>
#include <QWidget>

class QPushButton;

namespace ivra {

// The content of the recognised-text panel: the text, selectable, over a row with its
// length, Close (Escape) and Copy (Return). Copy turns into "Copied" once pressed and stays
// so for the life of the view.
class OCRResultView : public QWidget {
    Q_OBJECT
public:
    explicit OCRResultView(const QString& text, QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    bool isCopied() const { return m_copied; }

    // The number of characters a reader sees: grapheme clusters, so "é" written with a
    // combining accent or an emoji with a skin tone counts once.
    static qsizetype perceivedLength(const QString& text);

Q_SIGNALS:
    void copyRequested();
    void closeRequested();

private:
    void copy();

    QString m_text;
    bool m_copied = false;
    QPushButton* m_copyButton = nullptr;
};

} // namespace ivra
