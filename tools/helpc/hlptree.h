// The checking reader's B+ tree reader: walks a tree internal file from its
// root, checking every page, and looks keys up the way a viewer does.
#ifndef QDX_HELPC_HLPTREE_H
#define QDX_HELPC_HLPTREE_H

#include "hlpformat.h"

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace helpc {

// A B+ tree in an internal file, as its Structure string describes it: the
// first character is the key ('z' STRINGZ, 'L' or '4' a 32-bit number), the
// others the value. Problems go to `problems`, each behind the tree's name.
class Btree {
public:
    Btree(const Bytes& content, std::string name, std::vector<std::string>& problems)
        : c_(content), name_(std::move(name)), problems_(problems) {}

    // Checks the header and walks every page from the root; fills `entries`
    // with the leaf entries in order. Returns false on the first structural
    // problem that makes further walking pointless.
    bool Walk(const std::string& expectStructure, std::uint16_t expectFlags,
              std::vector<std::pair<Bytes, Bytes>>& entries);

    // Descends from the root as a viewer does: on every index page into the
    // child of the last key not above the search key. Only after a Walk.
    bool Find(const Bytes& key, Bytes& value) const;

private:
    bool ReadHeader(const std::string& expectStructure, std::uint16_t expectFlags, std::uint32_t& totalEntries);
    const std::uint8_t* Page(std::uint16_t n) const;
    bool Fail(const std::string& what);
    void Problem(const std::string& what);
    int Compare(const Bytes& a, const Bytes& b) const;
    Bytes ReadField(const std::uint8_t* page, std::size_t& at, char kind) const;
    Bytes ReadKey(const std::uint8_t* page, std::size_t& at) const;
    Bytes ReadValue(const std::uint8_t* page, std::size_t& at) const;
    bool Visit(std::uint16_t page, std::uint16_t depth, Bytes& first, Bytes& last);
    bool VisitIndex(std::uint16_t page, std::uint16_t depth, Bytes& first, Bytes& last);
    bool VisitLeaf(std::uint16_t page, Bytes& first, Bytes& last);

    const Bytes& c_;
    std::string name_;
    std::vector<std::string>& problems_;
    std::uint16_t pageSize_ = 0;
    std::string structure_;
    std::uint16_t root_ = 0;
    std::uint16_t totalPages_ = 0;
    std::uint16_t levels_ = 0;
    std::set<std::uint16_t> visited_;
    std::uint16_t lastLeaf_ = 0xFFFF;
    std::vector<std::pair<Bytes, Bytes>>* entries_ = nullptr;
};

}  // namespace helpc

#endif
