#pragma once
// Generic-password items, each found by its service and account and
// holding any bytes, kept in one file of mode 0600 (by default
// <root>/Library/Keychains/vekmont.keychain, in a folder made 0700).
//
// Every operation reads the file afresh and a change writes it whole,
// atomically, before the operation reports success; there is no state in
// memory besides the file. Operations on any Keychain object of the process
// are serialised by one process-wide lock, so threads and several objects
// on one file are safe together (other processes are not coordinated).
//
// A file that cannot be read as a keychain (damaged, foreign, too large)
// gives Status::Damaged to reads and deletes and is left as it is. The next
// store moves it aside to "<file>.damaged" and starts an empty keychain;
// while an earlier "<file>.damaged" is still there, stores give Damaged too,
// so no damaged file is ever overwritten.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace platform::security {

class Keychain {
public:
    using Bytes = std::vector<std::uint8_t>;

    // Status codes as callers log them (the platform's numbers).
    enum class Status : std::int32_t {
        Success = 0,
        // The file or its folder could not be read or written.
        IOError = -36,
        // The keychain would grow beyond what the file may hold (16 MiB).
        TooLarge = -50,
        // The file is not a keychain this code can read.
        Damaged = -25295,
        DuplicateItem = -25299,
        ItemNotFound = -25300,
    };

    // The app's keychain file.
    Keychain();
    explicit Keychain(std::filesystem::path file);

    const std::filesystem::path& filePath() const { return mFile; }
    static std::filesystem::path defaultFilePath();

    // Adds an item; DuplicateItem (nothing changed) when the service and
    // account have one already.
    Status addItem(const std::string& service, const std::string& account, std::span<const std::uint8_t> data);
    // Adds the item or replaces the data of the one there.
    Status setItem(const std::string& service, const std::string& account, std::span<const std::uint8_t> data);
    // The item's data into `data`, which is left alone unless the status
    // is Success.
    Status copyItem(const std::string& service, const std::string& account, Bytes& data) const;
    // ItemNotFound when there is no such item.
    Status deleteItem(const std::string& service, const std::string& account);
    // Every item of the service; ItemNotFound when it had none.
    Status deleteAllItems(const std::string& service);

private:
    std::filesystem::path mFile;
};

}  // namespace platform::security
