#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace ivra {

// Shows recognised text in a small floating panel, one panel at a time: showing a new
// result replaces the panel on screen.
class OCRResultWindow : public QObject {
    Q_OBJECT
public:
    explicit OCRResultWindow(QObject* parent = nullptr);
    ~OCRResultWindow() override;

    // The instance the application uses.
    static OCRResultWindow& shared();

    // Shows `text` (empty: "No text found in the selection.") centred on the screen under
    // the pointer, on top and focused. Main thread only.
    void show(const QString& text);

    // The panel currently shown (or last shown and since closed), if any.
    QWidget* panel() const { return m_panel; }

    static constexpr int kWidthPx = 460;
    static constexpr int kHeightPx = 340;

private:
    QPointer<QWidget> m_panel;
};

} // namespace ivra
