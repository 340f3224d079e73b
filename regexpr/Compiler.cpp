// The compiler: a recursive-descent parser run twice over the pattern, first
// counting the program's bytes, then writing them into a block of exactly
// that size.
#include <cstring>

#include "regexpr/Engine.h"

namespace quorvane::regex {

namespace {

enum PieceFlags { HasWidth = 1, Simple = 2, RepeatStart = 4 };

constexpr const char* MetaChars = "^$.[()|?+*\\{";
constexpr const char* Digits = "0123456789";

const unsigned char CyrillicLower[33] = {
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xB8, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
const unsigned char CyrillicUpper[33] = {
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xA8, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF};

bool IsQuantifierChar(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Blanks that modifier x skips.
bool IsSkippedBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::size_t RunLength(const char* p) { return std::strcspn(p, MetaChars); }

}  // namespace

bool ApplyModifierLetters(const char* first, const char* last, std::int32_t& word) {
  bool on = true;
  for (const char* p = first; p != last; ++p) {
    std::int32_t bit;
    switch (*p) {
      case '-': on = false; continue;
      case 'i': case 'I': bit = ModifierI; break;
      case 'r': case 'R': bit = ModifierR; break;
      case 's': case 'S': bit = ModifierS; break;
      case 'g': case 'G': bit = ModifierG; break;
      case 'm': case 'M': bit = ModifierM; break;
      case 'x': case 'X': bit = ModifierX; break;
      default: return false;
    }
    if (on) word |= bit; else word &= ~bit;
  }
  return true;
}

// The compiler: turns a pattern into a program for its owner.
class Compiler {
 public:
  explicit Compiler(TPattern& owner) : owner_(owner) {}
  // Compiles text under the owner's modifiers; on success the program (with
  // repeatStart set, hints not yet derived).
  std::unique_ptr<CompiledProgram> Compile(const char* text);

 private:
  static constexpr std::int32_t Placeholder = -1;  // node position while sizing
  static constexpr std::int32_t None = 0;          // no node

  struct ClassBuilder {
    bool negated = false;
    bool folded = false;
    ByteSet members{};
    int count = 0;
    int rangeMin = 255;
    int rangeMax = 0;
    unsigned char rangeStart = 0;
    bool rangeReady = false;
    std::int32_t node = None;
  };

  char Cur() const { return *owner_.parsePos_; }
  char At(int k) const { return owner_.parsePos_[k]; }
  void Step(int k = 1) { owner_.parsePos_ += k; }
  [[noreturn]] void Fail(PatternErrorCode code) const { Raise(owner_, code); }

  std::int32_t EmitOp(std::uint8_t code);
  void EmitByte(std::uint8_t b);
  void EmitInt(std::int32_t v);
  void InsertOpBefore(std::uint8_t code, std::int32_t operand, int n);
  std::int32_t Next(std::int32_t p) const;
  void LinkTail(std::int32_t p, std::int32_t target);
  void LinkAlternativeTail(std::int32_t p, std::int32_t target);

  std::int32_t ParseReg(bool group, int& flags);
  std::int32_t ParseSequence(int& flags);
  std::int32_t ParseQuantified(int& flags);
  std::int32_t ParseAtom(int& flags);
  std::int32_t ParseEscape(int& flags);
  std::int32_t ParseLiteralRun(int& flags);
  std::int32_t ParseClass();
  bool IsBraceQuantifier(const char* brace) const;
  std::int32_t ParseBraceNumber(const char* first, const char* last);
  void EmitBraces(std::int32_t atom, std::int32_t min, std::int32_t max, bool lazy);
  void EmitLoop(std::int32_t atom, std::int32_t min, std::int32_t max, bool lazy);
  unsigned char DecodeEscape();
  int HexDigitValue(char c) const;

  void BeginClass(bool negated, bool folded);
  void AddClassMember(unsigned char c);
  void EmitRangeC(unsigned char c);
  void AddClassChar(unsigned char c);
  void AddClassChars(const std::string& text);
  void AddClassChars(const unsigned char* text, int n);
  void CloseClass();

  bool Sizing() const { return prog_ == nullptr; }
  // Whether a modifier is on at this point of the pattern.
  bool ModifierOn(std::int32_t bit) const { return (scope_ & bit) != 0; }

  TPattern& owner_;
  std::uint8_t* prog_ = nullptr;  // null while sizing
  std::int32_t size_ = 0;         // bytes counted while sizing
  std::int32_t emit_ = 0;         // next byte written while emitting
  int nextGroup_ = 1;
  std::int32_t scope_ = 0;        // modifiers in force here
  ClassBuilder cls_;
};

// ---- Emitting primitives -------------------------------------------------

std::int32_t Compiler::EmitOp(std::uint8_t code) {
  if (Sizing()) {
    size_ += NodeHeaderSize;
    return Placeholder;
  }
  std::int32_t node = emit_;
  prog_[emit_] = code;
  WriteInt32(prog_ + emit_ + 1, 0);
  emit_ += NodeHeaderSize;
  return node;
}

void Compiler::EmitByte(std::uint8_t b) {
  if (Sizing()) {
    ++size_;
    return;
  }
  prog_[emit_++] = b;
}

void Compiler::EmitInt(std::int32_t v) {
  if (Sizing()) {
    size_ += 4;
    return;
  }
  WriteInt32(prog_ + emit_, v);
  emit_ += 4;
}

// Puts a node of n bytes where operand stands, moving the operand (and all
// emitted after it) n bytes up.
void Compiler::InsertOpBefore(std::uint8_t code, std::int32_t operand, int n) {
  if (Sizing()) {
    size_ += n;
    return;
  }
  std::memmove(prog_ + operand + n, prog_ + operand, std::size_t(emit_ - operand));
  prog_[operand] = code;
  std::memset(prog_ + operand + 1, 0, std::size_t(n - 1));
  emit_ += n;
}

std::int32_t Compiler::Next(std::int32_t p) const {
  if (p == Placeholder || p == None) return None;
  std::int32_t off = ReadInt32(prog_ + p + 1);
  return off == 0 ? None : p + off;
}

void Compiler::LinkTail(std::int32_t p, std::int32_t target) {
  if (p == Placeholder || Sizing()) return;
  std::int32_t scan = p;
  for (std::int32_t n = Next(scan); n != None; n = Next(scan)) scan = n;
  WriteInt32(prog_ + scan + 1, target - scan);
}

void Compiler::LinkAlternativeTail(std::int32_t p, std::int32_t target) {
  if (p == Placeholder || Sizing() || prog_[p] != OpAlternative) return;
  LinkTail(p + NodeHeaderSize, target);
}

// ---- Driver --------------------------------------------------------------

std::unique_ptr<CompiledProgram> CompilePattern(TPattern& owner, const char* text) {
  return Compiler(owner).Compile(text);
}

std::unique_ptr<CompiledProgram> Compiler::Compile(const char* text) {
  owner_.parsePos_ = nullptr;
  owner_.patternBegin_ = text;
  if (!text) Fail(PatternErrorCode::NullArgument);
  owner_.builtWithModifiers_ = owner_.modifiers_;

  // Sizing pass.
  scope_ = owner_.modifiers_;
  owner_.parsePos_ = text;
  nextGroup_ = 1;
  size_ = 0;
  prog_ = nullptr;
  EmitByte(ProgramSignature);
  int flags = 0;
  ParseReg(false, flags);

  // Emitting pass into a block of the counted size.
  auto program = std::make_unique<CompiledProgram>();
  program->size = std::size_t(size_);
  program->bytes = std::make_unique<std::uint8_t[]>(program->size);
  prog_ = program->bytes.get();
  emit_ = 0;
  scope_ = owner_.modifiers_;
  owner_.parsePos_ = text;
  nextGroup_ = 1;
  EmitByte(ProgramSignature);
  ParseReg(false, flags);
  program->repeatStart = (flags & RepeatStart) != 0;
  prog_ = nullptr;
  return program;
}

// ---- Parser --------------------------------------------------------------

// An alternation: the whole pattern, or the inside of a group.
std::int32_t Compiler::ParseReg(bool group, int& flags) {
  flags = HasWidth;
  const std::int32_t savedScope = scope_;
  int groupNo = 0;
  std::int32_t result = None;
  if (group) {
    if (nextGroup_ >= GroupSlots) Fail(PatternErrorCode::TooManyGroups);
    groupNo = nextGroup_++;
    result = EmitOp(std::uint8_t(OpOpenBase + groupNo));
  }

  int branchFlags = 0;
  std::int32_t branch = ParseSequence(branchFlags);
  if (group) LinkTail(result, branch);
  else result = branch;
  if (!(branchFlags & HasWidth)) flags &= ~HasWidth;
  flags |= branchFlags & RepeatStart;

  // Each alternative links from the one before it (the tail of the chain
  // so far), which keeps long alternations linear.
  std::int32_t lastBranch = branch;
  while (Cur() == '|') {
    Step();
    branch = ParseSequence(branchFlags);
    LinkTail(lastBranch, branch);
    lastBranch = branch;
    if (!(branchFlags & HasWidth)) flags &= ~HasWidth;
    flags |= branchFlags & RepeatStart;
  }

  std::int32_t ender = EmitOp(group ? std::uint8_t(OpCloseBase + groupNo) : std::uint8_t(OpEnd));
  LinkTail(result, ender);
  for (std::int32_t n = result; n != None && n != Placeholder; n = Next(n))
    LinkAlternativeTail(n, ender);

  if (group) {
    if (Cur() != ')') Fail(PatternErrorCode::UnclosedGroup);
    Step();
  } else if (Cur() != '\0') {
    Fail(Cur() == ')' ? PatternErrorCode::UnopenedGroup : PatternErrorCode::JunkOnEnd);
  }
  scope_ = savedScope;
  return result;
}

// One alternative: an OpAlternative followed by its pieces.
std::int32_t Compiler::ParseSequence(int& flags) {
  flags = 0;
  std::int32_t result = EmitOp(OpAlternative);
  std::int32_t chain = None;
  bool first = true;
  while (Cur() != '\0' && Cur() != '|' && Cur() != ')') {
    int pieceFlags = 0;
    std::int32_t latest = ParseQuantified(pieceFlags);
    flags |= pieceFlags & HasWidth;
    if (first) flags |= pieceFlags & RepeatStart;
    else LinkTail(chain, latest);
    chain = latest;
    first = false;
  }
  if (first) EmitOp(OpEmpty);
  return result;
}

// A brace starts a quantifier only as {n}, {n,} or {n,m}; any other brace
// is an ordinary character.
bool Compiler::IsBraceQuantifier(const char* brace) const {
  const char* p = brace + 1;
  if (!IsDigit(*p)) return false;
  while (IsDigit(*p)) ++p;
  if (*p == '}') return true;
  if (*p != ',') return false;
  ++p;
  while (IsDigit(*p)) ++p;
  return *p == '}';
}

// At most 8 digits, so the value stays below UnboundedCount.
std::int32_t Compiler::ParseBraceNumber(const char* first, const char* last) {
  if (last - first > 8) Fail(PatternErrorCode::BraceNumberTooBig);
  std::int32_t value = 0;
  for (const char* p = first; p != last; ++p) value = value * 10 + (*p - '0');
  return value;
}

void Compiler::EmitBraces(std::int32_t atom, std::int32_t min, std::int32_t max, bool lazy) {
  InsertOpBefore(lazy ? OpRepeatBracesLazy : OpRepeatBraces, atom, BracesHeaderSize);
  if (!Sizing()) {
    WriteInt32(prog_ + atom + RepeatMinAt, min);
    WriteInt32(prog_ + atom + RepeatMaxAt, max);
  }
}

void Compiler::EmitLoop(std::int32_t atom, std::int32_t min, std::int32_t max, bool lazy) {
  InsertOpBefore(OpLoopEntry, atom, NodeHeaderSize);
  std::int32_t loop = EmitOp(lazy ? OpLoopLazy : OpLoop);
  EmitInt(min);
  EmitInt(max);
  EmitInt(Sizing() ? 0 : atom + NodeHeaderSize - loop);
  LinkTail(atom, loop);
  if (!Sizing()) LinkTail(atom + NodeHeaderSize, loop);
}

// An atom and the quantifier after it.
std::int32_t Compiler::ParseQuantified(int& flags) {
  int atomFlags = 0;
  std::int32_t atom = ParseAtom(atomFlags);
  const char op = Cur();
  if (!IsQuantifierChar(op) || (op == '{' && !IsBraceQuantifier(owner_.parsePos_))) {
    flags = atomFlags;
    return atom;
  }
  if (op != '?' && !(atomFlags & HasWidth)) Fail(PatternErrorCode::EmptyOperand);

  std::int32_t braceMin = 0, braceMax = 0;
  const char* last = owner_.parsePos_;  // last character of the quantifier
  if (op == '{') {
    // The parse position moves through the braces, so errors point after
    // the number they concern.
    Step();
    const char* digits = owner_.parsePos_;
    while (IsDigit(Cur())) Step();
    braceMin = ParseBraceNumber(digits, owner_.parsePos_);
    braceMax = braceMin;
    if (Cur() == ',') {
      Step();
      digits = owner_.parsePos_;
      while (IsDigit(Cur())) Step();
      braceMax = owner_.parsePos_ == digits ? UnboundedCount : ParseBraceNumber(digits, owner_.parsePos_);
    }
    if (braceMax < braceMin) Fail(PatternErrorCode::BraceMinAboveMax);
    last = owner_.parsePos_;  // the closing brace
  }

  bool lazy = false;
  if (last[1] == '?') {
    lazy = true;
    ++last;
  }
  if (!ModifierOn(ModifierG)) lazy = true;
  const bool simple = (atomFlags & Simple) != 0;

  switch (op) {
    case '*':
      flags = RepeatStart;
      if (simple) {
        InsertOpBefore(lazy ? OpRepeatStarLazy : OpRepeatStar, atom, NodeHeaderSize);
      } else if (lazy) {
        EmitLoop(atom, 0, UnboundedCount, true);
      } else {
        InsertOpBefore(OpAlternative, atom, NodeHeaderSize);
        std::int32_t jump = EmitOp(OpJumpBack);
        LinkAlternativeTail(atom, jump);
        LinkAlternativeTail(atom, atom);
        LinkTail(atom, EmitOp(OpAlternative));
        LinkTail(atom, EmitOp(OpEmpty));
      }
      break;
    case '+':
      flags = HasWidth | RepeatStart;
      if (simple) {
        InsertOpBefore(lazy ? OpRepeatPlusLazy : OpRepeatPlus, atom, NodeHeaderSize);
      } else if (lazy) {
        EmitLoop(atom, 1, UnboundedCount, true);
      } else {
        std::int32_t alt = EmitOp(OpAlternative);
        LinkTail(atom, alt);
        LinkTail(EmitOp(OpJumpBack), atom);
        LinkTail(alt, EmitOp(OpAlternative));
        LinkTail(atom, EmitOp(OpEmpty));
      }
      break;
    case '?':
      flags = 0;
      if (lazy) {
        if (simple) EmitBraces(atom, 0, 1, true);
        else EmitLoop(atom, 0, 1, true);
      } else {
        InsertOpBefore(OpAlternative, atom, NodeHeaderSize);
        LinkTail(atom, EmitOp(OpAlternative));
        std::int32_t empty = EmitOp(OpEmpty);
        LinkTail(atom, empty);
        LinkAlternativeTail(atom, empty);
      }
      break;
    default:  // braces
      flags = (braceMin > 0 ? HasWidth : 0) | (braceMax > 0 ? RepeatStart : 0);
      if (simple) EmitBraces(atom, braceMin, braceMax, lazy);
      else EmitLoop(atom, braceMin, braceMax, lazy);
      break;
  }

  owner_.parsePos_ = last + 1;
  const char after = Cur();
  if (after == '*' || after == '+' || after == '?' ||
      (after == '{' && IsBraceQuantifier(owner_.parsePos_)))
    Fail(PatternErrorCode::NestedQuantifier);
  return atom;
}

std::int32_t Compiler::ParseAtom(int& flags) {
  flags = 0;
  const char c = Cur();
  if (c == '\0' || c == ')' || c == '|') Fail(PatternErrorCode::AtomExpected);
  Step();
  const bool lineMode = ModifierOn(ModifierM) && (!owner_.lineBreakChars_.empty() || owner_.hasPairedSeparator_);
  switch (c) {
    case '^':
      return EmitOp(lineMode ? OpLineStart : OpInputStart);
    case '$':
      return EmitOp(lineMode ? OpLineEnd : OpInputEnd);
    case '.':
      if (ModifierOn(ModifierS)) {
        flags = HasWidth | Simple;
        return EmitOp(OpAnyChar);
      }
      flags = HasWidth;
      return EmitOp(OpAnyInLine);
    case '[':
      flags = HasWidth | Simple;
      return ParseClass();
    case '(':
      if (Cur() == '?' && At(1) == '#') {
        Step(2);
        while (Cur() != '\0' && Cur() != ')') Step();
        if (Cur() != ')') Fail(PatternErrorCode::UnclosedComment);
        Step();
        return EmitOp(OpComment);
      }
      if (Cur() == '?') {
        Step();
        const char* letters = owner_.parsePos_;
        while (Cur() != '\0' && Cur() != ')') Step();
        if (Cur() != ')') Fail(PatternErrorCode::BadModifier);
        if (!ApplyModifierLetters(letters, owner_.parsePos_, scope_)) Fail(PatternErrorCode::BadModifier);
        Step();
        return EmitOp(OpComment);
      } else {
        int groupFlags = 0;
        std::int32_t node = ParseReg(true, groupFlags);
        flags = groupFlags & (HasWidth | RepeatStart);
        return node;
      }
    case '*':
    case '+':
    case '?':
      Fail(PatternErrorCode::NothingToRepeat);
    case '\\':
      return ParseEscape(flags);
    default:
      Step(-1);
      return ParseLiteralRun(flags);
  }
}

// An escape outside a class; the parse position is after the backslash.
std::int32_t Compiler::ParseEscape(int& flags) {
  const char e = Cur();
  if (e == '\0') Fail(PatternErrorCode::TrailingBackslash);
  std::int32_t node;
  flags = HasWidth | Simple;
  switch (e) {
    case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9':
      node = EmitOp(ModifierOn(ModifierI) ? OpBackrefCI : OpBackref);
      EmitByte(std::uint8_t(e - '0'));
      break;
    case 'A': flags = 0; node = EmitOp(OpInputStart); break;
    case 'Z': flags = 0; node = EmitOp(OpInputEnd); break;
    case 'b': flags = 0; node = EmitOp(OpWordBoundary); break;
    case 'B': flags = 0; node = EmitOp(OpNotWordBoundary); break;
    case 'd': node = EmitOp(OpDigit); break;
    case 'D': node = EmitOp(OpNonDigit); break;
    case 'w':
    case 'W':
    case 's':
    case 'S': {
      BeginClass(e == 'W' || e == 'S', false);
      AddClassChars(e == 'w' || e == 'W' ? owner_.wordCharSet_ : owner_.blankChars_);
      node = cls_.node;
      CloseClass();
      break;
    }
    default: {
      const unsigned char value = DecodeEscape();
      if (value == 0) {
        // A NUL can never occur in a subject (it ends the text), so an
        // escaped NUL is a one-character test that never succeeds.
        node = EmitOp(OpTinySet);
        EmitByte(0);
        EmitByte(0);
        EmitByte(0);
      } else {
        node = EmitOp(ModifierOn(ModifierI) ? OpLiteralCI : OpLiteral);
        EmitByte(value);
        EmitByte(0);
      }
      break;
    }
  }
  Step();
  return node;
}

std::int32_t Compiler::ParseLiteralRun(int& flags) {
  const bool extended = ModifierOn(ModifierX);
  if (extended) {
    if (Cur() == '#') {
      while (Cur() != '\0' && Cur() != '\r' && Cur() != '\n') Step();
      while (Cur() == '\r' || Cur() == '\n') Step();
      flags = 0;
      return EmitOp(OpComment);
    }
    if (IsSkippedBlank(Cur())) {
      while (IsSkippedBlank(Cur())) Step();
      flags = 0;
      return EmitOp(OpComment);
    }
  }
  std::size_t len = RunLength(owner_.parsePos_);
  if (len == 0) {
    if (Cur() != '{') Fail(PatternErrorCode::EmptyLiteralRun);
    len = 1 + RunLength(owner_.parsePos_ + 1);
  }
  if (len > 1 && IsQuantifierChar(owner_.parsePos_[len])) --len;
  flags = HasWidth | (len == 1 ? Simple : 0);
  std::int32_t node = EmitOp(ModifierOn(ModifierI) ? OpLiteralCI : OpLiteral);
  for (std::size_t k = 0; k < len; ++k) {
    if (extended) {
      if (Cur() == '#') break;
      if (IsSkippedBlank(Cur())) {
        Step();
        continue;
      }
    }
    EmitByte(std::uint8_t(Cur()));
    Step();
  }
  EmitByte(0);
  return node;
}

int Compiler::HexDigitValue(char c) const {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  Fail(PatternErrorCode::BadHexDigit);
}

// The character an escape stands for; the parse position is on the escaped
// character and is left on the escape's last character.
unsigned char Compiler::DecodeEscape() {
  switch (Cur()) {
    case 't': return 9;
    case 'n': return 10;
    case 'r': return 13;
    case 'f': return 12;
    case 'a': return 7;
    case 'e': return 27;
    case 'x': break;
    default: return static_cast<unsigned char>(Cur());
  }
  Step();
  if (Cur() == '\0') Fail(PatternErrorCode::NoHexCode);
  int value = 0;
  if (Cur() == '{') {
    for (;;) {
      Step();
      if (Cur() == '\0') Fail(PatternErrorCode::NoHexCode);
      if (Cur() == '}') break;
      if (value >= 16) Fail(PatternErrorCode::HexCodeTooBig);
      value = value * 16 + HexDigitValue(Cur());
    }
    return static_cast<unsigned char>(value);
  }
  value = HexDigitValue(Cur());
  Step();
  if (Cur() == '\0') Fail(PatternErrorCode::NoHexCode);
  value = value * 16 + HexDigitValue(Cur());
  return static_cast<unsigned char>(value);
}

// ---- Classes -------------------------------------------------------------

void Compiler::BeginClass(bool negated, bool folded) {
  cls_ = ClassBuilder{};
  cls_.negated = negated;
  cls_.folded = folded;
  cls_.node = EmitOp(negated ? OpNotTinySet : OpTinySet);
}

void Compiler::AddClassMember(unsigned char c) {
  if (cls_.members[c >> 3] & (1u << (c & 7))) return;
  AddToSet(cls_.members, c);
  ++cls_.count;
  if (c < cls_.rangeMin) cls_.rangeMin = c;
  if (c > cls_.rangeMax) cls_.rangeMax = c;
}

void Compiler::EmitRangeC(unsigned char c) {
  cls_.rangeReady = false;
  AddClassMember(c);
  if (cls_.folded) AddClassMember(owner_.caseSwap_(c));
}

void Compiler::AddClassChar(unsigned char c) {
  cls_.rangeStart = c;
  EmitRangeC(c);
  cls_.rangeReady = true;
}

void Compiler::AddClassChars(const std::string& text) {
  for (char c : text) EmitRangeC(static_cast<unsigned char>(c));
}

void Compiler::AddClassChars(const unsigned char* text, int n) {
  for (int k = 0; k < n; ++k) EmitRangeC(text[k]);
}

void Compiler::CloseClass() {
  if (cls_.count == 0)
    throw Exception("TPattern.ParseAtom(subroutine EmitRangeC): empty range");
  if (cls_.rangeMin > cls_.rangeMax)
    throw Exception("TPattern.ParseAtom(subroutine EmitRangeC): RangeChMin > RangeChMax");
  if (cls_.count <= TinySetSize) {
    int written = 0;
    for (int c = 0; c < 256; ++c) {
      if (cls_.members[c >> 3] & (1u << (c & 7))) {
        EmitByte(std::uint8_t(c));
        ++written;
      }
    }
    for (; written < TinySetSize; ++written) EmitByte(std::uint8_t(cls_.rangeMax));
    return;
  }
  if (!Sizing()) prog_[cls_.node] = OpFullSet;
  for (int k = 0; k < 32; ++k)
    EmitByte(cls_.negated ? std::uint8_t(~cls_.members[k]) : cls_.members[k]);
}

// A bracket class; the parse position is after the opening bracket.
std::int32_t Compiler::ParseClass() {
  const bool negated = Cur() == '^';
  if (negated) Step();
  BeginClass(negated, ModifierOn(ModifierI));
  const std::int32_t node = cls_.node;
  if (Cur() == ']') {
    AddClassChar(']');
    Step();
  }
  while (Cur() != '\0' && Cur() != ']') {
    if (Cur() == '-' && At(1) != '\0' && At(1) != ']' && cls_.rangeReady) {
      Step();
      if (Cur() == '\\' && At(1) != '\0' && std::strchr("dswDSW", At(1))) {
        EmitRangeC('-');
        continue;
      }
      unsigned char end;
      if (Cur() == '\\') {
        Step();
        if (Cur() == '\0') Fail(PatternErrorCode::ClassTrailingBackslash);
        end = DecodeEscape();
      } else {
        end = static_cast<unsigned char>(Cur());
      }
      const unsigned char start = cls_.rangeStart;
      const bool cyrillic = ModifierOn(ModifierR);
      if (cyrillic && start == 0xE0 && end == 0xFF) {
        AddClassChars(CyrillicLower, 33);
      } else if (cyrillic && start == 0xC0 && end == 0xDF) {
        AddClassChars(CyrillicUpper, 33);
      } else if (cyrillic && start == 0xE0 && end == 0xDF) {
        AddClassChars(CyrillicLower, 33);
        AddClassChars(CyrillicUpper, 33);
      } else {
        if (end < start) Fail(PatternErrorCode::InvalidRange);
        for (int c = start + 1; c <= end; ++c) EmitRangeC(static_cast<unsigned char>(c));
      }
      cls_.rangeReady = false;  // a range never starts another range
      Step();
    } else if (Cur() == '\\') {
      Step();
      if (Cur() == '\0') Fail(PatternErrorCode::ClassTrailingBackslash);
      switch (Cur()) {
        case 'd': AddClassChars(Digits); break;
        case 's': AddClassChars(owner_.blankChars_); break;
        case 'w': AddClassChars(owner_.wordCharSet_); break;
        default: AddClassChar(DecodeEscape()); break;
      }
      Step();
    } else {
      AddClassChar(static_cast<unsigned char>(Cur()));
      Step();
    }
  }
  // Checked before closing, so that "[" or "[^" at the end is reported as
  // an unclosed class rather than as an empty one.
  if (Cur() != ']') Fail(PatternErrorCode::UnclosedClass);
  CloseClass();
  Step();
  return node;
}

}  // namespace quorvane::regex
