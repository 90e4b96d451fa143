// Copying the manager's current file to the player over the link's FTP client.
#include "ftp/FileSource.h"
#include "ftp/NamePart.h"
#include "link/TForm1.h"

namespace orvanta::link {

double TransferProgress::BytesPerSecond(Clock::time_point now) const {
    if (!flowing) {
        return 0;
    }
    const Clock::time_point until = state == State::Running ? now : ended;
    const double seconds = std::chrono::duration<double>(until - began).count();
    return seconds > 0 ? static_cast<double>(sent) / seconds : 0;
}

void TForm1::btnInviaFileClick() {
    const std::string path = m_env.currentFile ? m_env.currentFile() : std::string();
    // A copy that fails before its data flows must not show the previous copy's figures.
    m_transfer = {};
    m_transfer.state = TransferProgress::State::Running;
    m_transfer.name = ftp::NamePart(path);
    try {
        // Closed when the handler leaves, whether the upload succeeded or failed.
        ftp::FileSource file(path);
        IdFTP.UploadStream(file, m_transfer.name);
    } catch (...) {
        m_transfer.state = TransferProgress::State::Failed;
        m_transfer.ended = TransferProgress::Clock::now();
        TransferProgressed();
        throw;
    }
    m_transfer.state = TransferProgress::State::Done;
    m_transfer.ended = TransferProgress::Clock::now();
    TransferProgressed();
}

void TForm1::IdFTPWorkBegin(ftp::WorkMode, std::int64_t workCountMax) {
    barprog.SetMax(workCountMax);
    m_transfer.total = workCountMax;
    m_transfer.sent = 0;
    m_transfer.flowing = true;
    m_transfer.began = TransferProgress::Clock::now();
    TransferProgressed();
}

void TForm1::IdFTPWork(ftp::WorkMode, std::int64_t workCount) {
    barprog.SetPosition(workCount);
    m_transfer.sent = workCount;
    TransferProgressed();
}

void TForm1::ShowUpload(const TransferProgress& progress) {
    m_transfer = progress;
    barprog.SetMax(progress.total);
    barprog.SetPosition(progress.sent);
    TransferProgressed();
}

void TForm1::TransferProgressed() {
    if (OnTransferProgress) {
        OnTransferProgress(*this);
    }
}

}  // namespace orvanta::link
