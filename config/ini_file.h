// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/profile_store.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace pingvard {

// Raised by a configuration write the profile store refused; the message is
// "Unable to write to " followed by the full file name.
class EIniFileException : public std::runtime_error {
public:
    using runtime_error::runtime_error;
};

// Raised when a stop request (SIGTERM) ends a load of the settings before it
// is done; what was written before stays written.
class ELoadCancelled : public std::runtime_error {
public:
    using runtime_error::runtime_error;
};

// Holds the file name and builds the number and flag operations on the two
// overridable text operations.
class TCustomIniFile {
public:
    explicit TCustomIniFile(std::string fileName);
    virtual ~TCustomIniFile() = default;
    TCustomIniFile(const TCustomIniFile&) = delete;
    TCustomIniFile& operator=(const TCustomIniFile&) = delete;

    const std::string& FileName() const { return m_fileName; }

    // The stored value (at most 2047 characters), or def when the entry is absent.
    virtual std::string ReadText(const std::string& section, const std::string& key,
                                 const std::string& def) = 0;
    // Throws EIniFileException when the value cannot be stored.
    virtual void WriteText(const std::string& section, const std::string& key,
                           const std::string& value) = 0;
    // The whole file parsed once, as the next ReadText would see it: the
    // newer sections' reader takes every value from it.
    virtual std::shared_ptr<const TProfileIndex> Index() = 0;
    // Takes the entry out; throws EIniFileException when it cannot. A file
    // kind that cannot take entries out refuses.
    virtual void DeleteKey(const std::string& section, const std::string& key);

    // ReadText with an empty default, then the integer rule; def when it fails.
    int32_t ReadNumber(const std::string& section, const std::string& key, int32_t def);
    void WriteNumber(const std::string& section, const std::string& key, int32_t value);
    // ReadNumber with default 1 or 0; true when the number is not 0.
    bool ReadFlag(const std::string& section, const std::string& key, bool def);
    // Stored as "1" or "0".
    void WriteFlag(const std::string& section, const std::string& key, bool value);

private:
    std::string m_fileName;
};

// The configuration accessor over the profile store. Create it on the full
// file name for one run of reads and writes (the start-up load, one settings
// save) and let it go: every operation goes to the file at once.
//
//     TIniFile ini(ConfigFileName());
//     ini.WriteNumber("Constants", "MaxTimeouts", maxTimeouts);   // may throw
class TIniFile : public TCustomIniFile {
public:
    // cancelled: polled while a large file is parsed; true ends the read
    // with ELoadCancelled.
    explicit TIniFile(std::string fileName, TCancelCheck cancelled = {});
    ~TIniFile() override; // the release flush

    std::string ReadText(const std::string& section, const std::string& key,
                         const std::string& def) override;
    void WriteText(const std::string& section, const std::string& key,
                   const std::string& value) override;
    void DeleteKey(const std::string& section, const std::string& key) override;
    std::shared_ptr<const TProfileIndex> Index() override;

    // For tests that inject faults into the file replacement.
    TProfileStore& Store() { return m_store; }

private:
    TProfileStore m_store;
};

// GetProgramDir() + "pingvard.ini", formed anew at each call.
std::string ConfigFileName();

} // namespace pingvard
