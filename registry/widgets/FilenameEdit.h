#pragma once

#include <functional>

#include <QString>
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace orvanta::registry::widgets {

// The file box: an edit box with a browse button. The button opens an open-file dialog
// titled "Browse" showing every file, starting in the folder of the path in the box when that
// folder exists, else in the folder of the previous choice. The chosen path replaces the text,
// in double quotes when it contains a blank; FileName() is the text without such quotes.
class FilenameEdit : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Browse";
    // "All files (*.*)|*.*" in Qt's form. Qt matches "*.*" literally, which would hide the
    // files without a dot on Linux, so the pattern is "*": every file, as "*.*" is on Windows.
    static constexpr const char* kFilter = "All files (*)";

    // Opens the dialog and returns the chosen path, or an empty text when cancelled.
    using Browser = std::function<QString(QWidget* parent, const QString& caption,
                                          const QString& startFolder, const QString& filter)>;

    explicit FilenameEdit(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    // The text without surrounding double quotes: what save stores.
    QString FileName() const;
    // The folder the dialog starts in, by the rule above (empty: the dialog's own default).
    QString StartFolder() const;

    void SetBrowser(Browser browser) { m_browse = std::move(browser); }
    // What the browse button does.
    void Browse();

    QLineEdit& Edit() const { return *m_edit; }
    QToolButton& BrowseButton() const { return *m_button; }

    static QString Quoted(const QString& path);
    static QString Unquoted(const QString& text);

signals:
    // A path was chosen through the dialog and now stands in the box.
    void Chosen(const QString& path);

private:
    QLineEdit* m_edit;
    QToolButton* m_button;
    Browser m_browse;
    QString m_lastFolder;
};

}  // namespace orvanta::registry::widgets
