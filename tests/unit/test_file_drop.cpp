// Files dropped on the main window, end to end on the scripted platform: the
// picture or the text put on the clipboard and taken up by the load's own
// poll, unknown names that load nothing, files that cannot be used and leave
// everything as it was, and real drag-and-drop events on both drop targets.
#include "support/drop_files.h"
#include "support/form1_views.h"
#include "support/no_freeze.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QStringEncoder>
#include <QTest>
#include <QUrl>

using namespace pomorina;
using namespace pomorina::testing;
using namespace Qt::StringLiterals;

namespace {

QString crlfLines(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + u"\r\n"_s;
    return text;
}

// Everything a failed drop must leave as it was.
struct Snapshot {
    std::optional<QString> clipboardText;
    QImage clipboardImage;
    int clipboardWrites;
    bool pictureShown;
    bool textShown;
    QString text1;
    QImage held;
    QImage preview;
    QStringList texts;
    QList<QImage> pictures;

    explicit Snapshot(Desk& desk)
        : clipboardText(desk.platform.clipboard.text),
          clipboardImage(desk.platform.clipboard.image),
          clipboardWrites(desk.platform.clipboardWrites),
          pictureShown(pictureViewShown(desk.main())), textShown(textViewShown(desk.main())),
          text1(desk.main().pane().text()), held(desk.main().pane().Picture2()->picture()),
          preview(desk.main().pane().Picture1()->canvas()), texts(storedTexts(desk.history())) {
        for (int slot = 0; slot < HistoryStore::kSlots; ++slot)
            pictures << desk.history().store().picture(slot);
    }
};

// The clipboard, the views, the held picture and the history are as before.
void sameClipboardViewsAndHistory(const Snapshot& before, const Snapshot& after) {
    QCOMPARE(after.clipboardText, before.clipboardText);
    QCOMPARE(after.clipboardImage, before.clipboardImage);
    QCOMPARE(after.pictureShown, before.pictureShown);
    QCOMPARE(after.textShown, before.textShown);
    QCOMPARE(after.text1, before.text1);
    QCOMPARE(after.held, before.held);
    QCOMPARE(after.texts, before.texts);
    QCOMPARE(after.pictures, before.pictures);
}

} // namespace

class TestFileDrop : public QObject {
    Q_OBJECT
private slots:
    void pictureDrop_data();
    void pictureDrop();
    void samePictureTwice();
    void textDrop_data();
    void textDrop();
    void textDropReplacesPendingEdit_data();
    void textDropReplacesPendingEdit();
    void unknownNameLoadsNothingButPolls_data();
    void unknownNameLoadsNothingButPolls();
    void unusableFileChangesNothing_data();
    void unusableFileChangesNothing();
    void refusedClipboardChangesNothing_data();
    void refusedClipboardChangesNothing();
    void qtDrop_data();
    void qtDrop();
    void longLineDoesNotHang();
    void dropIsTakenAsACopy_data();
    void dropIsTakenAsACopy();

private:
    QTemporaryDir files_;
    QString file(const QString& name) const { return files_.filePath(name); }
};

void TestFileDrop::pictureDrop_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<bool>("lossless");
    QTest::newRow("bmp") << u"red.bmp"_s << QByteArray("bmp") << true;
    QTest::newRow("upper-case JPG") << u"RED.JPG"_s << QByteArray("jpg") << false;
    QTest::newRow("jpeg") << u"red.jpeg"_s << QByteArray("jpeg") << false;
    QTest::newRow("ico") << u"red.ico"_s << QByteArray("ico") << true;
}

void TestFileDrop::pictureDrop() {
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(bool, lossless);
    Desk desk; // 192 preview, white back colour
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.copyText(u"before"_s);
    desk.tick();
    QVERIFY(textViewShown(form));

    const QImage picture = filled(50, 40, kRed);
    const QString path = file(name);
    QVERIFY(writeFile(path, encoded(picture, format.constData())));
    desk.platform.now = 777;
    form.OLEDragDrop(path);

    QCOMPARE(form.poll().busy(), 0);
    QCOMPARE(desk.platform.errorsShown, QStringList());
    QCOMPARE(form.files().dropPath(), path);
    // The clipboard holds the picture alone.
    QVERIFY(!desk.platform.clipboard.image.isNull());
    QCOMPARE(desk.platform.clipboard.image.size(), picture.size());
    QVERIFY(!desk.platform.clipboard.text);
    // The load's poll took it up: held, shown, fitted into the preview, and
    // the newest history picture.
    QCOMPARE(form.pane().Picture2()->picture().size(), picture.size());
    QVERIFY(pictureViewShown(form));
    QCOMPARE(desk.history().store().picture(0).size(), picture.size());
    QVERIFY(desk.history().store().picture(1).isNull());
    QVERIFY(form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), qint64(777));
    if (lossless) {
        QCOMPARE(desk.platform.clipboard.image.convertToFormat(QImage::Format_RGB32), picture);
        QCOMPARE(desk.history().store().picture(0).convertToFormat(QImage::Format_RGB32), picture);
        // 50 x 40 in the 192 preview: unscaled at (71, 76).
        const QString mismatch =
            canvasMismatch(form.pane().Picture1()->canvas(), QRect(71, 76, 50, 40), kRed, kWhite);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }
}

void TestFileDrop::samePictureTwice() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QString path = file(u"twice.bmp"_s);
    QVERIFY(writeFile(path, encoded(filled(30, 30, kBlue), "bmp")));
    form.OLEDragDrop(path);
    QCOMPARE(desk.history().store().picture(0).size(), QSize(30, 30));
    const quint64 changes = desk.platform.clipboardChanges;
    form.OLEDragDrop(path);
    // Put on the clipboard again, but the poll finds it unchanged.
    QCOMPARE(desk.platform.clipboardWrites, 2);
    QVERIFY(desk.platform.clipboardChanges > changes);
    QCOMPARE(desk.history().store().picture(0).size(), QSize(30, 30));
    QVERIFY(desk.history().store().picture(1).isNull());
    QCOMPARE(form.poll().busy(), 0);
    QCOMPARE(desk.platform.errorsShown, QStringList());
}

void TestFileDrop::textDrop_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("three lines") << u"abc.txt"_s << QByteArray("a\r\nb\r\nc\r\n")
                                 << crlfLines({u"a"_s, u"b"_s, u"c"_s});
    QTest::newRow("upper-case TXT, last line without ending")
        << u"ABC.TXT"_s << QByteArray("a\rb\r\nc") << crlfLines({u"a"_s, u"b"_s, u"c"_s});
    QTest::newRow("lone LF is one line") << u"lf.txt"_s << QByteArray("a\nb\n") << u"a\nb\n\r\n"_s;
    QStringList many;
    QByteArray manyBytes;
    for (int n = 1; n <= 25; ++n) {
        many << u"行 %1"_s.arg(n);
        manyBytes += u"行 %1\r\n"_s.arg(n).toUtf8();
    }
    QTest::newRow("25 lines give 20") << u"many.txt"_s << manyBytes << crlfLines(many.first(20));
    QStringEncoder shiftJis("Shift_JIS");
    const QByteArray sjis = shiftJis.encode(u"こんにちは\r\n世界"_s);
    QTest::newRow("Shift_JIS") << u"sjis.txt"_s << sjis << crlfLines({u"こんにちは"_s, u"世界"_s});
    QTest::newRow("empty file") << u"empty.txt"_s << QByteArray() << QString();
}

void TestFileDrop::textDrop() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Other;
    if (!text.isEmpty()) {
        // A picture on the clipboard and in the preview before the drop.
        desk.copyPicture(filled(20, 20, kBlue));
        desk.tick();
        QVERIFY(pictureViewShown(form));
    }
    const QString path = file(name);
    QVERIFY(writeFile(path, bytes));
    form.OLEDragDrop(path);

    QCOMPARE(form.poll().busy(), 0);
    QCOMPARE(desk.platform.errorsShown, QStringList());
    QCOMPARE(form.files().fileText(), text);
    QCOMPARE(desk.platform.clipboard.text, std::optional<QString>(text));
    QVERIFY(desk.platform.clipboard.image.isNull());
    // The poll took the text up: shown, and the newest history text.
    QVERIFY(textViewShown(form));
    QCOMPARE(form.pane().text(), text);
    QCOMPARE(form.pane().Text1()->toPlainText(), QString(text).replace(u"\r\n"_s, u"\n"_s));
    QCOMPARE(desk.history().store().text(0), text);
    // Nothing of the old view's text goes back over it afterwards.
    form.Timer3_Timer();
    QCOMPARE(desk.platform.clipboard.text, std::optional<QString>(text));
}

void TestFileDrop::textDropReplacesPendingEdit_data() {
    QTest::addColumn<Foreground>("front"); // at the drop
    QTest::newRow("dropped from another window") << Foreground::Other;
    QTest::newRow("dropped while the main window is in front") << Foreground::Main;
}

void TestFileDrop::textDropReplacesPendingEdit() {
    // The user typed in the text view, and the edit has not reached the
    // clipboard yet; then a text file is dropped. The file's text is newer:
    // it stays on the clipboard and ends up in the view, the edit in the
    // history.
    QFETCH(Foreground, front);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Other;
    desk.copyText(u"old"_s);
    desk.tick();
    QVERIFY(textViewShown(form));
    desk.platform.foreground = Foreground::Main;
    form.Timer3_Timer();
    form.pane().Text1()->setPlainText(u"typed"_s);
    QCOMPARE(form.pane().text(), u"typed"_s);

    desk.platform.foreground = front;
    const QString path = file(u"new.txt"_s);
    QVERIFY(writeFile(path, "new\r\n"));
    form.OLEDragDrop(path);
    QCOMPARE(form.poll().busy(), 0);
    QCOMPARE(desk.platform.clipboard.text, std::optional<QString>(u"new\r\n"_s));

    // The user goes on working elsewhere.
    desk.platform.foreground = Foreground::Other;
    form.Timer3_Timer();
    desk.tick();
    form.Timer3_Timer();
    QCOMPARE(desk.platform.clipboard.text, std::optional<QString>(u"new\r\n"_s));
    QCOMPARE(form.pane().text(), u"new\r\n"_s);
    QCOMPARE(desk.history().store().text(0), u"new\r\n"_s);
    QCOMPARE(desk.history().store().text(1), u"typed"_s);
}

void TestFileDrop::unknownNameLoadsNothingButPolls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("png") << u"shot.png"_s << encoded(filled(10, 10, kRed), "png");
    QTest::newRow("gif") << u"anim.gif"_s << encoded(filled(10, 10, kRed), "gif");
    QTest::newRow("four-letter text") << u"notes.text"_s << QByteArray("hello\r\n");
    QTest::newRow("no extension") << u"README"_s << QByteArray("hello\r\n");
}

void TestFileDrop::unknownNameLoadsNothingButPolls() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Other;
    // Another program copied text that no poll has seen yet.
    desk.copyText(u"fresh"_s);
    const int writes = desk.platform.clipboardWrites;
    desk.platform.now = 4321;
    form.countdown().cancel();

    const QString path = file(name);
    QVERIFY(writeFile(path, bytes));
    form.OLEDragDrop(path);

    QCOMPARE(form.poll().busy(), 0);
    QCOMPARE(desk.platform.errorsShown, QStringList());
    QCOMPARE(desk.platform.clipboardWrites, writes);
    QCOMPARE(desk.platform.clipboard.text, std::optional<QString>(u"fresh"_s));
    // The load's poll ran all the same.
    QCOMPARE(form.pane().text(), u"fresh"_s);
    QCOMPARE(desk.history().store().text(0), u"fresh"_s);
    QVERIFY(form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), qint64(4321));
}

void TestFileDrop::unusableFileChangesNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("what"); // 0 file with bytes, 1 folder, 2 missing, 3 FIFO
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("textBefore"); // else a picture is shown before
    QByteArray hugeBitmap("BM");
    hugeBitmap += QByteArray::fromHex("76000000000000003600000028000000a0860100a086010001001800"
                                      "000000000000000000000000000000000000000000000000");
    hugeBitmap += QByteArray(64, '\x7F');
    const struct {
        const char* tag;
        QString name;
        int what;
        QByteArray bytes;
    } cases[] = {
        {"corrupt .jpg", u"bad.jpg"_s, 0, QByteArray("not a jpeg\r\n").repeated(10)},
        {"bitmap claiming 100000 x 100000", u"huge.bmp"_s, 0, hugeBitmap},
        {"binary .txt", u"binary.txt"_s, 0, encoded(filled(8, 8, kRed), "bmp")},
        {"folder .txt", u"folder.txt"_s, 1, {}},
        {"folder .bmp", u"folder.bmp"_s, 1, {}},
        {"missing .ico", u"missing.ico"_s, 2, {}},
        {"named pipe .txt", u"pipe.txt"_s, 3, {}},
    };
    for (const auto& c : cases) {
        QTest::addRow("%s, text shown", c.tag) << c.name << c.what << c.bytes << true;
        QTest::addRow("%s, picture shown", c.tag) << c.name << c.what << c.bytes << false;
    }
}

void TestFileDrop::unusableFileChangesNothing() {
    QFETCH(QString, name);
    QFETCH(int, what);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, textBefore);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Other;
    desk.copyPicture(filled(40, 30, kRed));
    desk.tick();
    if (textBefore) {
        desk.copyText(u"shown text"_s);
        desk.tick();
        QVERIFY(textViewShown(form));
    }
    const Snapshot before(desk);

    QTemporaryDir here;
    const QString path = here.filePath(name);
    QVERIFY(makeEntry(here.path(), name, what, bytes));
    form.OLEDragDrop(path);

    QCOMPARE(form.poll().busy(), 0);
    QCOMPARE(desk.platform.errorsShown.size(), 1);
    QVERIFY2(desk.platform.errorsShown.first().contains(path),
             qPrintable(desk.platform.errorsShown.first()));
    const Snapshot after(desk);
    QCOMPARE(after.clipboardWrites, before.clipboardWrites);
    QCOMPARE(after.preview, before.preview);
    sameClipboardViewsAndHistory(before, after);
}

void TestFileDrop::refusedClipboardChangesNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("textBefore");
    QTest::addColumn<Foreground>("front");
    for (const QString& name : {u"drop.bmp"_s, u"drop.txt"_s}) {
        for (const bool textBefore : {true, false}) {
            for (const Foreground front : {Foreground::Other, Foreground::Main}) {
                QTest::addRow("%s, %s shown, %s in front", qPrintable(name),
                              textBefore ? "text" : "picture",
                              front == Foreground::Main ? "main window" : "another window")
                    << name << textBefore << front;
            }
        }
    }
}

void TestFileDrop::refusedClipboardChangesNothing() {
    // The clipboard cannot be written (another program holds it): the user
    // is told, and the window goes on showing what the clipboard holds.
    QFETCH(QString, name);
    QFETCH(bool, textBefore);
    QFETCH(Foreground, front);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Other;
    if (textBefore)
        desk.copyText(u"shown text"_s);
    else
        desk.copyPicture(filled(40, 30, kRed));
    desk.tick();
    desk.platform.foreground = front;
    const Snapshot before(desk);

    const QString path = file(name);
    if (name.endsWith(u".bmp"_s))
        QVERIFY(writeFile(path, encoded(filled(25, 25, kBlue), "bmp")));
    else
        QVERIFY(writeFile(path, "dropped\r\n"));
    desk.platform.failClipboardWrites = true;
    form.OLEDragDrop(path);

    QCOMPARE(form.poll().busy(), 0);
    QCOMPARE(desk.platform.errorsShown.size(), 1);
    const Snapshot after(desk);
    sameClipboardViewsAndHistory(before, after);
}

void TestFileDrop::qtDrop_data() {
    QTest::addColumn<bool>("onText");       // the text view, else the preview
    QTest::addColumn<QStringList>("names"); // dropped files, made in the files folder
    QTest::addColumn<QString>("plainText"); // dragged text
    QTest::addColumn<QString>("remote");    // a URL that is no local file
    QTest::addColumn<int>("result");        // 0 nothing, 1 the picture, 2 the text
    for (const bool onText : {false, true}) {
        const char* target = onText ? "text view" : "preview";
        QTest::addRow("%s: one picture file", target)
            << onText << QStringList{u"drop.bmp"_s} << QString() << QString() << 1;
        QTest::addRow("%s: one text file", target)
            << onText << QStringList{u"drop.txt"_s} << QString() << QString() << 2;
        QTest::addRow("%s: text file first of several", target)
            << onText << QStringList{u"drop.txt"_s, u"drop.bmp"_s} << QString() << QString() << 2;
        QTest::addRow("%s: picture first of several", target)
            << onText << QStringList{u"drop.bmp"_s, u"drop.txt"_s} << QString() << QString() << 1;
        QTest::addRow("%s: dragged text", target)
            << onText << QStringList() << u"dragged words"_s << QString() << 0;
        QTest::addRow("%s: a web address", target)
            << onText << QStringList() << QString() << u"https://example.com/a.bmp"_s << 0;
    }
}

void TestFileDrop::qtDrop() {
    QFETCH(bool, onText);
    QFETCH(QStringList, names);
    QFETCH(QString, plainText);
    QFETCH(QString, remote);
    QFETCH(int, result);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Other;
    desk.copyText(u"as it was"_s);
    desk.tick();
    if (!onText) {
        desk.copyPicture(filled(40, 30, kRed));
        desk.tick();
    }
    const Snapshot before(desk);

    const QImage picture = filled(33, 22, kBlue);
    QVERIFY(writeFile(file(u"drop.bmp"_s), encoded(picture, "bmp")));
    QVERIFY(writeFile(file(u"drop.txt"_s), "one\r\ntwo"));
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& name : names)
        urls << QUrl::fromLocalFile(file(name));
    if (!remote.isEmpty())
        urls << QUrl(remote);
    if (!urls.isEmpty())
        data.setUrls(urls);
    if (!plainText.isEmpty())
        data.setText(plainText);

    QWidget* target =
        onText ? form.pane().Text1()->viewport() : static_cast<QWidget*>(form.pane().Picture1());
    const QPoint at(10, 10);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QCoreApplication::sendEvent(target, &enter);
    QCOMPARE(enter.isAccepted(), !urls.isEmpty());

    // A drop goes where the drag entry was accepted: after a refused entry
    // (dragged text) it reaches no one.
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QCoreApplication::sendEvent(target, &drop);
    QCOMPARE(drop.isAccepted(), result != 0);
    QCOMPARE(form.poll().busy(), 0);
    QCOMPARE(desk.platform.errorsShown, QStringList());

    const Snapshot after(desk);
    switch (result) {
    case 0:
        QCOMPARE(form.files().dropPath(), QString());
        QCOMPARE(after.clipboardWrites, before.clipboardWrites);
        QCOMPARE(after.text1, before.text1);
        QCOMPARE(form.pane().Text1()->toPlainText(), before.text1);
        QCOMPARE(after.texts, before.texts);
        QCOMPARE(after.pictures, before.pictures);
        QCOMPARE(after.pictureShown, before.pictureShown);
        break;
    case 1:
        QCOMPARE(form.files().dropPath(), file(u"drop.bmp"_s));
        QCOMPARE(desk.platform.clipboard.image.convertToFormat(QImage::Format_RGB32), picture);
        QVERIFY(!desk.platform.clipboard.text);
        QCOMPARE(desk.history().store().picture(0).convertToFormat(QImage::Format_RGB32), picture);
        QCOMPARE(after.texts, before.texts);
        QVERIFY(pictureViewShown(form));
        break;
    case 2:
        QCOMPARE(form.files().dropPath(), file(u"drop.txt"_s));
        QCOMPARE(desk.platform.clipboard.text, std::optional<QString>(u"one\r\ntwo\r\n"_s));
        QCOMPARE(form.pane().text(), u"one\r\ntwo\r\n"_s);
        QCOMPARE(desk.history().store().text(0), u"one\r\ntwo\r\n"_s);
        QCOMPARE(after.pictures, before.pictures);
        QVERIFY(textViewShown(form));
        break;
    }
}

void TestFileDrop::longLineDoesNotHang() {
    // A file without a single CR is one line, read up to 16 MiB; dropping it
    // must not freeze the viewer. 1 MiB of one letter (a file of base64 or a
    // hex dump looks like that) is a small part of what may arrive; laid out
    // as it once was, it would take minutes.
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Other;
    const qsizetype size = 1024 * 1024;
    const QString path = file(u"oneline.txt"_s);
    QVERIFY(writeFile(path, QByteArray(size, 'x')));
    QElapsedTimer clock;
    clock.start();
    form.OLEDragDrop(path);
    const qint64 ms = clock.elapsed();
    QCOMPARE(form.poll().busy(), 0);
    QCOMPARE(form.pane().text().size(), size + 2);
    QCOMPARE(desk.history().store().text(0).size(), size + 2);
    QVERIFY2(ms < kNoFreezeMs, qPrintable(u"the drop took %1 ms"_s.arg(ms)));
}

void TestFileDrop::dropIsTakenAsACopy_data() {
    QTest::addColumn<Qt::DropActions>("offered");
    QTest::addColumn<Qt::KeyboardModifiers>("keys"); // Shift proposes a move
    QTest::addColumn<bool>("taken");
    QTest::newRow("copy proposed")
        << (Qt::CopyAction | Qt::MoveAction) << Qt::KeyboardModifiers() << true;
    QTest::newRow("move proposed, copy possible")
        << (Qt::CopyAction | Qt::MoveAction) << Qt::KeyboardModifiers(Qt::ShiftModifier) << true;
    QTest::newRow("move only: refused")
        << Qt::DropActions(Qt::MoveAction) << Qt::KeyboardModifiers(Qt::ShiftModifier) << false;
}

void TestFileDrop::dropIsTakenAsACopy() {
    // A source told "moved" deletes the file once the drop is over.
    QFETCH(Qt::DropActions, offered);
    QFETCH(Qt::KeyboardModifiers, keys);
    QFETCH(bool, taken);
    Desk desk;
    Form1& form = desk.main();
    QVERIFY(writeFile(file(u"moved.txt"_s), "kept"));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file(u"moved.txt"_s))});
    QDragEnterEvent enter(QPoint(10, 10), offered, &data, Qt::LeftButton, keys);
    QCoreApplication::sendEvent(form.pane().Picture1(), &enter);
    QDropEvent drop(QPointF(10, 10), offered, &data, Qt::LeftButton, keys);
    drop.setAccepted(false);
    QCoreApplication::sendEvent(form.pane().Picture1(), &drop);
    QCOMPARE(drop.isAccepted() && drop.dropAction() == Qt::CopyAction, taken);
    QCOMPARE(form.files().dropPath().isEmpty(), !taken);
}

QTEST_MAIN(TestFileDrop)
#include "test_file_drop.moc"
