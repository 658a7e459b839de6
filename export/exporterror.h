// How an export fails: a stable code and a Chinese message for the user.
#pragma once

#include <stdexcept>
#include <string>

namespace vorel::exports {

enum class TExportFault {
    Cancelled,   // the learner stopped it
    Unwritable,  // the folder (or the file there) cannot be written
    DiskFull,    // no space left on the disk
    SourceFailed,// the recording could not be read
    EncodeFailed,// a clip could not be encoded
    Nothing,     // no sentence to export
};

// The message for fault; where names the file or folder, detail the cause.
std::string FaultText(TExportFault fault, const std::string &where, const std::string &detail = {});

class EExportError : public std::runtime_error {
public:
    EExportError(TExportFault fault, const std::string &where, const std::string &detail = {})
        : std::runtime_error(FaultText(fault, where, detail)), fault_(fault) {}
    TExportFault Fault() const { return fault_; }

private:
    TExportFault fault_;
};

// The fault for a failed write with errno code: DiskFull for ENOSPC and EDQUOT,
// else Unwritable.
TExportFault WriteFault(int code);

} // namespace vorel::exports
