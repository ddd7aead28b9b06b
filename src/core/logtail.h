// The log view's text: a fixed buffer holding the tail of everything
// appended, cut by a block at the front when full, so appending never allocates.
#pragma once

class LogTail {
public:
    static constexpr unsigned kCapacity = 4096;  // characters, terminator included
    static constexpr unsigned kDrop = 1024;      // dropped from the front when full

    // Appends text character by character; when the buffer is full the
    // oldest kDrop characters go first.
    void Append(const char* text) noexcept;
    void Clear() noexcept;

    const char* Text() const noexcept { return text_; }
    unsigned Length() const noexcept { return length_; }
    // Where the caret goes after an append: before the last line break.
    unsigned CaretPosition() const noexcept { return length_ > 1 ? length_ - 2 : length_; }

private:
    char text_[kCapacity] = {};
    unsigned length_ = 0;
};
