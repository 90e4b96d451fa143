#include "registry/widgets/FilenameEdit.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

#include "registry/widgets/DisplayText.h"

namespace orvanta::registry::widgets {

FilenameEdit::FilenameEdit(QWidget* parent)
    : QWidget(parent),
      m_edit(new QLineEdit(this)),
      m_button(new QToolButton(this)),
      m_browse([](QWidget* owner, const QString& caption, const QString& startFolder,
                  const QString& filter) {
          return QFileDialog::getOpenFileName(owner, caption, startFolder, filter);
      }) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);
    m_button->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setCursor(Qt::ArrowCursor);
    setFocusProxy(m_edit);
    connect(m_button, &QToolButton::clicked, this, &FilenameEdit::Browse);
}

QString FilenameEdit::text() const {
    return m_edit->text();
}

void FilenameEdit::setText(const QString& text) {
    m_edit->setText(text);
}

QString FilenameEdit::Quoted(const QString& path) {
    return path.contains(u' ') ? QStringLiteral("\"") + path + QStringLiteral("\"") : path;
}

QString FilenameEdit::Unquoted(const QString& text) {
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"')) {
        return text.mid(1, text.size() - 2);
    }
    return text;
}

QString FilenameEdit::FileName() const {
    return Unquoted(text());
}

QString FilenameEdit::StartFolder() const {
    // Only a path that names a folder counts: a bare name has none (not the current one).
    const QString path = QDir::fromNativeSeparators(FileName());
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash >= 0) {
        const QString folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
        if (QFileInfo(folder).isDir()) {
            return folder;
        }
    }
    return m_lastFolder;
}

void FilenameEdit::Browse() {
    const QString chosen = m_browse(this, ShownText(kCaption), StartFolder(), ShownText(kFilter));
    if (chosen.isEmpty()) {
        return;
    }
    m_lastFolder = QFileInfo(chosen).absolutePath();
    setText(Quoted(chosen));
    emit Chosen(chosen);
}

}  // namespace orvanta::registry::widgets
