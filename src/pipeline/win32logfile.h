// The log file on Windows: each append opens the file for appending only, so another program
// (a spreadsheet with the file open for reading, another copy's log) never blocks it for long,
// and a file deleted or moved meanwhile is made anew with its header.
#pragma once

#include "pipeline/core/logwriter.h"

namespace dorvane {

class CWin32LogFile : public ILogFile {
public:
    bool Append(const std::u16string& path, const std::string& header, const std::string& bytes,
                uint32_t& error) override;
};

}  // namespace dorvane
