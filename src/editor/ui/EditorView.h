#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QFutureWatcher>
#include <QImage>
#include <QSizeF>
#include <QWidget>

#include "recognition/OCRService.h"

namespace ivra {

class AnnotationCanvasView;
class AnnotationStore;
class AnnotationToolbar;
class BackgroundRemover;
class SaveDialog;
class SettingsStore;
class Toast;

// What an editor window works with besides its image.
struct EditorServices {
    SettingsStore& settings; // file-name template and export format
    std::shared_ptr<const BackgroundRemover> backgroundRemover;
    // Makes the dialog that asks where to save, parented to the given editor window.
    std::function<std::unique_ptr<SaveDialog>(QWidget* window)> makeSaveDialog;
};

// The content of one editor window: the toolbar above the canvas, over one image and its
// own store of marks, with copy, save as, text recognition and background removal. Results
// leave only through the clipboard or a file the user saves.
//
// Keys (the label field has them while a label is being typed): tool letters pick a tool
// and O recognises text, by key position in every layout; Ctrl combinations belong to the
// toolbar.
class EditorView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPaddingPt = 14;
    static constexpr int kSpacingPt = 10;
    static constexpr double kCanvasCornerRadiusPt = 4;

    EditorView(const QImage& image, QSizeF displaySize, EditorServices services,
               QWidget* parent = nullptr);
    ~EditorView() override;

    AnnotationStore& store() const { return *m_store; }
    AnnotationCanvasView& canvas() const { return *m_canvas; }
    AnnotationToolbar& toolbar() const { return *m_toolbar; }
    // The image being edited (the cut-out once the background has been removed).
    const QImage& baseImage() const;
    bool backgroundRemoved() const { return m_backgroundRemoved; }
    bool isRecognizingText() const { return m_recognizing; }
    // The message showing at the bottom; empty when none.
    QString toast() const;

    // The image as it is exported: the marks flattened onto it, without a label still
    // being typed.
    QImage flattenedImage() const;

    void copy();
    void saveAs();
    void recognizeText();
    void removeBackground();

signals:
    // After the result panel has been shown (with the empty text when recognition failed).
    void textRecognized(const QString& text);
    // When background removal has finished, whatever its outcome.
    void backgroundRemovalFinished(bool removed);
    // When a save as has ended: written, or cancelled or failed.
    void saveFinished(bool saved);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void showToast(const QString& message);
    void finishBackgroundRemoval(const std::optional<QImage>& cutout);

    EditorServices m_services;
    AnnotationStore* m_store = nullptr;
    AnnotationToolbar* m_toolbar = nullptr;
    AnnotationCanvasView* m_canvas = nullptr;
    Toast* m_toast = nullptr;
    std::unique_ptr<SaveDialog> m_saveDialog;
    bool m_backgroundRemoved = false;
    bool m_shownOnce = false;
    QFutureWatcher<RecognitionResult> m_recognition;
    QFutureWatcher<std::optional<QImage>> m_cutout;
    bool m_recognizing = false;
    bool m_removingBackground = false;
};

} // namespace ivra
