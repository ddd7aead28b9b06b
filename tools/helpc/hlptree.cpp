#include "hlptree.h"

#include <algorithm>
#include <cstring>

namespace helpc {

namespace {

// The walk recurses once per tree level, so the level count is bounded before
// it starts. Page numbers are 16 bits, so a tree has at most 65535 pages; when
// every index page but the last of its level has two children or more (a
// writer adds a level only while more than one page is left), level k from the
// root holds at least 2^(k-2) + 1 pages, and 17 levels would need 65552. The
// trees written here have one to three levels.
constexpr std::uint16_t kMaxTreeLevels = 16;

}  // namespace

bool Btree::ReadHeader(const std::string& expectStructure, std::uint16_t expectFlags,
                       std::uint32_t& totalEntries) {
    if (c_.size() < kBtreeHeaderSize) return Fail("shorter than a B+ tree header");
    const std::uint8_t* h = c_.data();
    if (GetU16(h) != kBtreeMagic) return Fail("bad B+ tree magic");
    if (GetU16(h + 2) != expectFlags) Problem("flags " + HexText(GetU16(h + 2)));
    pageSize_ = GetU16(h + 4);
    char structure[17] = {};
    std::memcpy(structure, h + 6, 16);
    structure_ = structure;
    if (structure_ != expectStructure) return Fail("structure '" + structure_ + "'");
    if (GetU16(h + 22) != 0) Problem("MustBeZero field is not zero");
    root_ = GetU16(h + 26);
    if (GetU16(h + 28) != 0xFFFF) Problem("MustBeMinusOne field is not -1");
    totalPages_ = GetU16(h + 30);
    levels_ = GetU16(h + 32);
    totalEntries = GetU32(h + 34);
    if (pageSize_ < 16) return Fail("page size too small");
    if (c_.size() != kBtreeHeaderSize + static_cast<std::size_t>(totalPages_) * pageSize_)
        return Fail("size does not match " + std::to_string(totalPages_) + " pages");
    if (levels_ == 0 || root_ >= totalPages_) return Fail("bad root page or level count");
    if (levels_ > kMaxTreeLevels)
        return Fail(std::to_string(levels_) + " levels (at most " + std::to_string(kMaxTreeLevels) + ")");
    if (GetU16(h + 24) != totalPages_ - levels_) Problem("PageSplits is not TotalPages - NLevels");
    return true;
}

bool Btree::Walk(const std::string& expectStructure, std::uint16_t expectFlags,
                 std::vector<std::pair<Bytes, Bytes>>& entries) {
    std::uint32_t totalEntries = 0;
    if (!ReadHeader(expectStructure, expectFlags, totalEntries)) return false;
    visited_.clear();
    lastLeaf_ = 0xFFFF;
    entries_ = &entries;
    entries.clear();
    Bytes first, last;
    if (!Visit(root_, 0, first, last)) return false;
    if (lastLeaf_ != 0xFFFF && GetU16(Page(lastLeaf_) + 6) != 0xFFFF) Problem("last leaf has a next page");
    if (entries.size() != totalEntries)
        Problem("TotalBtreeEntries " + std::to_string(totalEntries) + " but " + std::to_string(entries.size()) +
                " entries in the leaves");
    if (visited_.size() != totalPages_) Problem("pages not reachable from the root");
    for (std::size_t i = 1; i < entries.size(); ++i)
        if (Compare(entries[i - 1].first, entries[i].first) >= 0) Problem("leaf keys not in ascending order");
    return true;
}

bool Btree::Find(const Bytes& key, Bytes& value) const {
    std::uint16_t page = root_;
    for (std::uint16_t level = 1; level < levels_; ++level) {
        const std::uint8_t* p = Page(page);
        std::int16_t n = static_cast<std::int16_t>(GetU16(p + 2));
        std::uint16_t child = GetU16(p + 4);
        std::size_t at = 6;
        for (int i = 0; i < n; ++i) {
            Bytes k = ReadKey(p, at);
            std::uint16_t next = GetU16(p + at);
            at += 2;
            if (Compare(k, key) <= 0) child = next;
            else break;
        }
        page = child;
    }
    const std::uint8_t* p = Page(page);
    std::int16_t n = static_cast<std::int16_t>(GetU16(p + 2));
    std::size_t at = 8;
    for (int i = 0; i < n; ++i) {
        Bytes k = ReadKey(p, at);
        Bytes v = ReadValue(p, at);
        if (Compare(k, key) == 0) {
            value = v;
            return true;
        }
    }
    return false;
}

const std::uint8_t* Btree::Page(std::uint16_t n) const {
    return c_.data() + kBtreeHeaderSize + static_cast<std::size_t>(n) * pageSize_;
}

bool Btree::Fail(const std::string& what) {
    Problem(what);
    return false;
}

void Btree::Problem(const std::string& what) { problems_.push_back(name_ + ": " + what); }

// Total over any two keys: the first key of an empty leaf is empty, and
// an empty key sorts before every other (so the index check reports it).
int Btree::Compare(const Bytes& a, const Bytes& b) const {
    if (structure_[0] == 'z' || a.size() < 4 || b.size() < 4) {
        const std::size_t n = std::min(a.size(), b.size());
        int r = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
        if (r != 0) return r;
        return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
    }
    std::int32_t x = static_cast<std::int32_t>(GetU32(a.data()));
    std::int32_t y = static_cast<std::int32_t>(GetU32(b.data()));
    return x < y ? -1 : x > y ? 1 : 0;
}

// Field readers within one page; a field running past the page end throws
// off the walk, so they clamp and the caller checks `at` afterwards.
Bytes Btree::ReadField(const std::uint8_t* page, std::size_t& at, char kind) const {
    Bytes out;
    if (kind == 'z') {
        while (at < pageSize_ && page[at] != 0) out.push_back(page[at++]);
        ++at;  // the NUL
    } else {
        std::size_t n = (kind == '2') ? 2 : 4;
        for (std::size_t i = 0; i < n && at < pageSize_; ++i) out.push_back(page[at++]);
        if (out.size() < n) at = pageSize_ + 1;
    }
    return out;
}

Bytes Btree::ReadKey(const std::uint8_t* page, std::size_t& at) const { return ReadField(page, at, structure_[0]); }

Bytes Btree::ReadValue(const std::uint8_t* page, std::size_t& at) const {
    Bytes out;
    for (std::size_t i = 1; i < structure_.size(); ++i) {
        Bytes f = ReadField(page, at, structure_[i]);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

bool Btree::Visit(std::uint16_t page, std::uint16_t depth, Bytes& first, Bytes& last) {
    if (page >= totalPages_) return Fail("child page " + std::to_string(page) + " out of range");
    if (!visited_.insert(page).second) return Fail("page " + std::to_string(page) + " reached twice");
    if (depth + 1 < levels_) return VisitIndex(page, depth, first, last);
    return VisitLeaf(page, first, last);
}

bool Btree::VisitIndex(std::uint16_t page, std::uint16_t depth, Bytes& first, Bytes& last) {
    const std::uint8_t* p = Page(page);
    const std::uint16_t unused = GetU16(p);
    const std::int16_t n = static_cast<std::int16_t>(GetU16(p + 2));
    const std::string where = "page " + std::to_string(page);
    std::size_t at = 6;
    std::vector<std::pair<Bytes, std::uint16_t>> children;
    children.push_back({Bytes(), GetU16(p + 4)});
    for (int i = 0; i < n; ++i) {
        Bytes k = ReadKey(p, at);
        if (at + 2 > pageSize_) return Fail(where + ": index entries run past the page");
        children.push_back({k, GetU16(p + at)});
        at += 2;
    }
    if (n < 0) return Fail(where + ": negative entry count");
    if (unused != pageSize_ - at) Problem(where + ": Unused field does not match its entries");
    for (std::size_t i = 0; i < children.size(); ++i) {
        Bytes f, l;
        if (!Visit(children[i].second, depth + 1, f, l)) return false;
        if (i == 0) first = f;
        else if (Compare(f, children[i].first) != 0)
            Problem(where + ": index key is not the first key of its child");
        if (i + 1 < children.size() && !l.empty() && Compare(l, children[i + 1].first) >= 0)
            Problem(where + ": child holds keys not below the next index key");
        last = l;
    }
    return true;
}

// A leaf must be the next one in the chain.
bool Btree::VisitLeaf(std::uint16_t page, Bytes& first, Bytes& last) {
    const std::uint8_t* p = Page(page);
    const std::uint16_t unused = GetU16(p);
    const std::int16_t n = static_cast<std::int16_t>(GetU16(p + 2));
    const std::string where = "page " + std::to_string(page);
    if (n < 0) return Fail(where + ": negative entry count");
    if (GetU16(p + 4) != lastLeaf_) Problem(where + ": PreviousPage does not chain");
    if (lastLeaf_ != 0xFFFF && GetU16(Page(lastLeaf_) + 6) != page)
        Problem("page " + std::to_string(lastLeaf_) + ": NextPage does not chain");
    lastLeaf_ = page;
    std::size_t at = 8;
    for (int i = 0; i < n; ++i) {
        Bytes k = ReadKey(p, at);
        Bytes v = ReadValue(p, at);
        if (at > pageSize_) return Fail(where + ": entries run past the page");
        if (i == 0) first = k;
        last = k;
        entries_->push_back({k, v});
    }
    if (unused != pageSize_ - at) Problem(where + ": Unused field does not match its entries");
    for (std::size_t i = at; i < pageSize_; ++i)
        if (p[i] != 0) {
            Problem(where + ": bytes after the entries are not zero");
            break;
        }
    return true;
}

}  // namespace helpc
