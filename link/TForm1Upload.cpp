// Copying the manager's current file to the player over the link's FTP client.
#include "ftp/FileSource.h"
#include "ftp/NamePart.h"
#include "link/TForm1.h"

namespace orvanta::link {

void TForm1::btnInviaFileClick() {
    const std::string path = m_env.currentFile ? m_env.currentFile() : std::string();
    // Closed when the handler leaves, whether the upload succeeded or failed.
    ftp::FileSource file(path);
    IdFTP.UploadStream(file, ftp::NamePart(path));
}

void TForm1::IdFTPWorkBegin(ftp::WorkMode, std::int64_t workCountMax) {
    barprog.SetMax(workCountMax);
}

void TForm1::IdFTPWork(ftp::WorkMode, std::int64_t workCount) {
    barprog.SetPosition(workCount);
}

}  // namespace orvanta::link
