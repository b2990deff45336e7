#pragma once

#include "engine/taskeditor.h"

#include <QObject>

class CFadePicture;
class CImageButton;
class CRangeSlider;
class CVideoEdit;
class MediaPreview;
class QLabel;
class QTimer;

// The preview of the shown Task and its trim: the range slider, Play and Stop, and a
// glimpse of the picture at an edge the user moved. Before the first Task the splash
// picture stands in the preview's place.
class PreviewPanel : public QObject
{
    Q_OBJECT
public:
    static constexpr double kNoTaskRange = 120.0;
    static constexpr double kGlimpseLength = 1.0;

    PreviewPanel(QWidget* window, TaskEditor& editor, MediaPreview& preview);

    bool previewFlag() const { return m_previewFlag; }
    bool seekBusy() const { return m_seekBusy; }
    void updateEnabled();

    void OnRangeChanged(int which, bool released);
    void Seek(const QString& path, double time);
    void OnPlay();
    void OnStopPreview();
    void OnPlayEnded(double unused);

public slots:
    // Shows Task `index` (its trim, and its picture unless the source is gone); with -1
    // the preview is emptied and the slider shows a range of its own.
    void showTask(int index, bool sourceGone);
    // The preview takes the splash picture's place.
    void showTaskArea();

private:
    void showTrim(double duration, double start, double end);
    void glimpseWhenKeysRest(int which);
    void showStill(const Task& task);
    void clearPreview();
    // Says over the empty preview that the shown Task's file is gone; empty to hide it.
    void sayMissing(const QString& path);

    TaskEditor& m_editor;
    const TaskList& m_tasks;
    MediaPreview& m_preview;
    CFadePicture* m_fade;
    CVideoEdit* m_video;
    CImageButton* m_play;
    CImageButton* m_stopPreview;
    CRangeSlider* m_slider;
    QLabel* m_missing;

    int m_shown = -1;
    int m_trimLock = 0;
    bool m_previewFlag = false;
    bool m_seekBusy = false;
    QString m_stillPath; // where the running glimpse returns to; empty for nowhere
    double m_stillTime = 0.0;
    QTimer* m_keysRest = nullptr; // shows the edge the keys moved once they rest
    int m_restingEdge = 0;
};
