// An owned, NUL-terminated UTF-8 text behind a single pointer: a heap block of
// exactly length + 1 bytes, or null when the text is empty. No length is stored.
#pragma once

class simple_string final {
 public:
  constexpr simple_string() = default;
  simple_string(const simple_string&) = delete;
  simple_string& operator=(const simple_string&) = delete;
  ~simple_string();

  // Replaces the text with a copy of text up to its NUL; a null text is empty.
  // text may point into this string's own text. Throws std::bad_alloc when the
  // heap fails, and the string then keeps its previous text.
  void assign_text(const char* text);

  // The held block, null when the text is empty.
  const char* block() const { return block_; }
  // The text; "" when empty, never null.
  const char* text() const { return block_ != nullptr ? block_ : ""; }

 private:
  char* block_ = nullptr;
};
