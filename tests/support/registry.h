// Registry helpers for the Windows tests: values and keys a test changes are
// put back as they were when the test ends.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace qdxtest {

// Saves one value (its type and bytes, or that it is missing) and restores
// exactly that on destruction.
class RegValueGuard {
public:
    RegValueGuard(HKEY root, const char* subkey, const char* name) : root_(root), subkey_(subkey), name_(name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root_, subkey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
            DWORD size = 0;
            if (RegQueryValueExA(key, name, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
                data_.resize(size);
                existed_ = RegQueryValueExA(key, name, nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
                data_.resize(size);
            }
            RegCloseKey(key);
        }
    }
    ~RegValueGuard() {
        if (existed_) {
            Set(type_, data_.data(), static_cast<DWORD>(data_.size()));
        } else {
            Remove();
        }
    }
    RegValueGuard(const RegValueGuard&) = delete;
    RegValueGuard& operator=(const RegValueGuard&) = delete;

    bool Existed() const { return existed_; }
    std::string SavedText() const {
        return existed_ ? std::string(reinterpret_cast<const char*>(data_.data()), strnlen(reinterpret_cast<const char*>(data_.data()), data_.size())) : std::string();
    }
    void Remove() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root_, subkey_.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, name_.c_str());
            RegCloseKey(key);
        }
    }
    void SetText(const std::string& text) {
        Set(REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
    }
    void Set(DWORD type, const BYTE* data, DWORD size) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(root_, subkey_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
            ERROR_SUCCESS) {
            RegSetValueExA(key, name_.c_str(), 0, type, data, size);
            RegCloseKey(key);
        }
    }

private:
    HKEY root_;
    std::string subkey_;
    std::string name_;
    bool existed_ = false;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> data_;
};

// A REG_SZ value under HKEY_LOCAL_MACHINE, "(missing)" when there is none of that type.
inline std::string RegText(const char* subkey, const char* name) {
    char text[MAX_PATH] = "";
    DWORD size = sizeof text;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, subkey, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return "(missing)";
    return text;
}

inline bool KeyExists(HKEY root, const char* subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The product's key tree: when it did not exist before the test, everything
// below it goes at the end; when it did, only the keys the test names.
class ProductKeyGuard {
public:
    ProductKeyGuard() : existed_(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tallowind")) {}
    ~ProductKeyGuard() {
        if (!existed_) RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Tallowind");
    }
    ProductKeyGuard(const ProductKeyGuard&) = delete;
    ProductKeyGuard& operator=(const ProductKeyGuard&) = delete;

private:
    bool existed_;
};

// A whole key with its values, put back as it was (one level, values only).
class RegKeySnapshot {
public:
    RegKeySnapshot(HKEY root, const char* subkey) : root_(root), subkey_(subkey) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
        existed_ = true;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD nameSize = sizeof name;
            BYTE data[4096];
            DWORD dataSize = sizeof data;
            DWORD type = 0;
            if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
            values_.push_back({name, type, std::vector<BYTE>(data, data + dataSize)});
        }
        RegCloseKey(key);
    }
    ~RegKeySnapshot() {
        RegDeleteTreeA(root_, subkey_.c_str());
        if (!existed_) return;
        HKEY key = nullptr;
        if (RegCreateKeyExA(root_, subkey_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return;
        for (const auto& v : values_)
            RegSetValueExA(key, v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
        RegCloseKey(key);
    }
    RegKeySnapshot(const RegKeySnapshot&) = delete;
    RegKeySnapshot& operator=(const RegKeySnapshot&) = delete;

private:
    struct Value {
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
    };
    HKEY root_;
    std::string subkey_;
    bool existed_ = false;
    std::vector<Value> values_;
};

}  // namespace qdxtest
