#pragma once

#include <QSize>
#include <QString>

#include <memory>
#include <optional>

class QWidget;

namespace pomorina {

class ClipboardPoll;
class PictureBox;
class Platform;
class PreviewPane;

// What the file commands need of the main window around them.
class FilesHost {
public:
    virtual ~FilesHost() = default;
    // The resolution chosen for saved pictures; nothing when the setting
    // names none.
    virtual std::optional<QSize> saveResolution() = 0;
    // The auto-hide countdown starts anew from now.
    virtual void restartCountdown() = 0;
    // The window the boxes belong to.
    virtual QWidget* boxParent() = 0;
};

// "画像を保存", which writes the current picture as "Image.bmp" beside the
// program, and the loading of a file dropped on the main window onto the
// clipboard.
class FileCommands {
public:
    FileCommands(Platform& platform, ClipboardPoll& poll, PreviewPane& pane, FilesHost& host);
    ~FileCommands();

    void gsave_Click();
    // A file dropped on the preview or the text view; only the first of a
    // drop counts.
    void OLEDragDrop(const QString& path);
    void loadfile();

    // The canvas a save draws on (Picture3), out of sight; its back colour
    // is the preview's.
    PictureBox* Picture3() const { return canvas_.get(); }
    // The last dropped file, and the text taken from it.
    const QString& dropPath() const { return dropPath_; }
    const QString& fileText() const { return fileText_; }
    // The resolution of the last save, in force while the setting names none.
    int saveWidth() const { return saveWidth_; }
    int saveHeight() const { return saveHeight_; }

private:
    Platform& platform_;
    ClipboardPoll& poll_;
    PreviewPane& pane_;
    FilesHost& host_;
    std::unique_ptr<PictureBox> canvas_;
    int saveWidth_ = 0;  // the resolution of the last save, kept for a
    int saveHeight_ = 0; // setting that names none
    QString dropPath_;
    QString ext_;      // its last four characters, lower-cased
    QString fileText_; // the text taken from it
};

} // namespace pomorina
