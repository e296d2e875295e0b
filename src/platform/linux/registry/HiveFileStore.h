#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "registry/RegHive.h"
#include "registry/RegistryStore.h"

// One registry root kept in a file of the registry export format.
//
// Reading follows the file: it is read again whenever it changed on disk.
// Every write replaces the file atomically (WriteFileAtomically), so a crash
// or a full disk leaves the old or the new contents, never a mixture and
// never no file; a link at the file's place is written through. What cannot
// be read of a file (a malformed value, or the whole file when it is no
// registry file, no regular file or larger than 64 MB) reads as absent; the
// file is then kept aside with a ".bad" suffix when the first write replaces
// it. A folder of another user's, or one reached through a link, is neither
// read nor written.
class THiveFile {
public:
    THiveFile(std::string path, bool readOnly);

    const std::string& Path() const { return path_; }
    // The hive as the file holds it now.
    const TRegHive& Hive();
    // Applies a change and writes the file; false (file untouched) when the
    // file or its folder may not be written or the write fails.
    template <typename Change>
    bool Modify(Change&& change) {
        Refresh();
        if (!CanWrite()) {
            return false;
        }
        if (batchDepth_ > 0) {
            change(hive_);
            pending_ = true;
            return true;
        }
        TRegHive next = hive_;
        change(next);
        if (!Write(next)) {
            return false;
        }
        hive_ = std::move(next);
        return true;
    }
    bool CanWrite() const;
    bool Damaged() const { return damaged_; }
    bool Exists() const;
    // Changes made between these two are written to the file once, at the end.
    void BeginBatch() { ++batchDepth_; }
    bool EndBatch();

private:
    void Refresh();
    bool Write(const TRegHive& next);
    std::string FolderProblem() const;

    std::string path_;
    bool readOnly_;
    TRegHive hive_;
    bool damaged_ = false;
    bool loaded_ = false;
    int batchDepth_ = 0;
    bool pending_ = false;  // changes of a batch not yet in the file
    bool refused_ = false;  // the folder was refused (said once)
    // Identity of the file last read: device, inode, size, modification time.
    std::array<std::int64_t, 5> stamp_{};
    std::array<std::int64_t, 5> keptAside_{};  // the damaged file last kept aside
};

// The registry of a Linux user: HKEY_CURRENT_USER in the user's own hive file
// (its "Control Panel" branch in a file of its own beside it), and
// HKEY_LOCAL_MACHINE read-only from the machine's hive file.
class THiveFileStore : public TRegistryStore {
public:
    THiveFileStore(std::string userHive, std::string machineHive);

    // $XDG_CONFIG_HOME/vantoria/user.reg (~/.config when unset) and
    // vantoria/machine.reg in the configuration folder of the install prefix.
    static std::string DefaultUserHivePath();
    static std::string DefaultMachineHivePath();

    bool KeyReadable(TRegRoot root, const std::string& key) override;
    std::optional<TRegValue> QueryValue(TRegRoot root, const std::string& key,
                                        const std::string& name) override;
    bool SetValue(TRegRoot root, const std::string& key, const std::string& name,
                  const TRegValue& value) override;
    bool CreateKey(TRegRoot root, const std::string& key) override;
    void BeginBatch() override {
        user_.BeginBatch();
        controlPanel_.BeginBatch();
    }
    bool EndBatch() override {
        const bool user = user_.EndBatch();
        return controlPanel_.EndBatch() && user;
    }

    THiveFile& File(TRegRoot root) { return root == TRegRoot::CurrentUser ? user_ : machine_; }
    // The file that holds `key`: HKEY_CURRENT_USER\Control Panel lives in
    // control-panel.reg beside the user's settings file.
    THiveFile& File(TRegRoot root, const std::string& key, bool forWriting);

private:
    THiveFile user_;
    THiveFile machine_;
    THiveFile controlPanel_;
};
