// TPattern: state, settings, runs and error reporting.
#include "regexpr/Pattern.h"

#include <algorithm>
#include <cstring>

#include "platform/Platform.h"
#include "regexpr/Engine.h"

namespace quorvane {

const std::int32_t DefaultModifiers = ModifierR | ModifierS | ModifierG;
const char* const DefaultBlankChars = " \t\n\r\f";
const char* const DefaultWordCharSet = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
const char* const DefaultLineBreakChars = "\r\n";
const char* const DefaultLinePairedSeparator = "\r\n";

unsigned char DefaultCaseSwap(unsigned char c) {
  const unsigned char upper = platform::CharUpper(c);
  return upper != c ? upper : platform::CharLower(c);
}

namespace {

// Texts given to the object end at their first NUL byte.
std::string_view UpToNul(std::string_view text) {
  std::size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::int32_t ModifierBit(int index) {
  static const std::int32_t bits[] = {ModifierI, ModifierR, ModifierS, ModifierG, ModifierM, ModifierX};
  return index >= 1 && index <= 6 ? bits[index - 1] : 0;
}

}  // namespace

TPattern::TPattern()
    : modifiers_(DefaultModifiers),
      blankChars_(DefaultBlankChars),
      wordCharSet_(DefaultWordCharSet),
      lineBreakChars_(DefaultLineBreakChars),
      caseSwap_(DefaultCaseSwap),
      tables_(std::make_unique<regex::RunTables>()) {
  SetLinePairedSeparator(DefaultLinePairedSeparator);
}

TPattern::~TPattern() = default;

// ---- Errors --------------------------------------------------------------

std::string TPattern::ErrorText(std::int32_t code) const {
  using E = PatternErrorCode;
  switch (static_cast<E>(code)) {
    case E::None: return "No errors";
    case E::NullArgument: return "TPattern(comp): Null Argument";
    case E::TooBig: return "TPattern(comp): Regexp Too Big";
    case E::TooManyGroups: return "TPattern(comp): ParseReg Too Many ()";
    case E::UnclosedGroup: return "TPattern(comp): ParseReg Unmatched ()";
    case E::UnopenedGroup: return "TPattern(comp): ParseReg Unmatched ()";
    case E::JunkOnEnd: return "TPattern(comp): ParseReg Junk On End";
    case E::EmptyOperand: return "TPattern(comp): *+ Operand Could Be Empty";
    case E::NestedQuantifier: return "TPattern(comp): Nested *?+";
    case E::BadHexDigit: return "TPattern(comp): Bad Hex Digit";
    case E::InvalidRange: return "TPattern(comp): Invalid [] Range";
    case E::ClassTrailingBackslash: return "TPattern(comp): Parse Atom Trailing \\";
    case E::NoHexCode: return "TPattern(comp): No Hex Code After \\x";
    case E::HexCodeTooBig: return "TPattern(comp): Hex Code After \\x Is Too Big";
    case E::UnclosedClass: return "TPattern(comp): Unmatched []";
    case E::AtomExpected: return "TPattern(comp): Internal Urp";
    case E::NothingToRepeat: return "TPattern(comp): ?+*{ Follows Nothing";
    case E::TrailingBackslash: return "TPattern(comp): Trailing \\";
    case E::EmptyLiteralRun: return "TPattern(comp): RarseAtom Internal Disaster";
    case E::BraceNumberTooBig: return "TPattern(comp): BRACES Argument Too Big";
    case E::BraceMinAboveMax: return "TPattern(comp): BRACE Min Param Greater then Max";
    case E::UnclosedComment: return "TPattern(comp): Unclosed (?#Comment)";
    case E::ComplexOperand:
      return "TPattern(comp): Braces '{min,max}' and non-greedy ops '*?', '+?', '?" "?' are not available "
             "for complex operands";
    case E::BadModifier: return "TPattern(comp): Urecognized Modifier";
    case E::BadPairedSeparator:
      return "TPattern(comp): LinePairedSeparator must countain two different chars or no chars at all";
    case E::RepeatOfComplexNode: return "TPattern(exec): RegRepeat Called Inappropriately";
    case E::UnknownOpcode: return "TPattern(exec): MatchPrim Memory Corruption";
    case E::MissingNode: return "TPattern(exec): MatchPrim Corrupted Pointers";
    case E::NoExpression: return "TPattern(exec): Not Assigned Expression Property";
    case E::BadSignature: return "TPattern(exec): Corrupted Program";
    case E::NoInputString: return "TPattern(exec): No Input String Specified";
    case E::OffsetBelowOne: return "TPattern(exec): Offset Must Be Greater Then 0";
    case E::ExecNextWithoutMatch: return "TPattern(exec): ExecNext Without Exec[Pos]";
    case E::InputStringUnset: return "TPattern(exec): GetInputString Without InputString";
    case E::DumpCorruptOpcode: return "TPattern(dump): Corrupted Opcode";
    case E::LoopStackExceeded: return "TPattern(exec): Loop Stack Exceeded";
    case E::LoopWithoutEntry: return "TPattern(exec): Loop Without LoopEntry !";
    case E::RecursionTooDeep: return "TPattern(exec): Recursion Too Deep (pattern too complex for this input)";
    case E::MatchTooComplex: return "TPattern(exec): Match Too Complex (the text is too irregular to search)";
    case E::BadImport: return "TPattern(misc): Bad p-code imported";
    case E::BadModifierIndex: break;  // has no text of its own
  }
  return "Unknown error";
}

void TPattern::RaiseError(std::int32_t code) const {
  std::string message = ErrorText(code);
  const std::int32_t position = CompileErrorPosition();
  if (code < 1000) message += " (pos " + std::to_string(position) + ")";
  throw EPatternError(message, code, position);
}

namespace regex {

void Raise(const TPattern& owner, PatternErrorCode code) {
  const auto value = static_cast<std::int32_t>(code);
  owner.RaiseError(value);
  // A replaced RaiseError must not let the engine go on.
  throw EPatternError(owner.ErrorText(value), value, owner.CompileErrorPosition());
}

}  // namespace regex

std::int32_t TPattern::CompileErrorPosition() const {
  if (!patternBegin_ || !parsePos_) return 0;
  return std::int32_t(parsePos_ - patternBegin_);
}

// ---- Pattern and modifiers -------------------------------------------------

std::string TPattern::Expression() const { return hasExpression_ ? expression_ : std::string(); }

void TPattern::SetExpression(std::string_view text) {
  text = UpToNul(text);
  if (compiled_ && hasExpression_ && text == expression_) return;
  compiled_ = false;
  expression_.clear();
  hasExpression_ = !text.empty();
  if (hasExpression_) expression_.assign(text);
  DiscardProgram();
}

std::int32_t TPattern::Modifiers() const { return modifiers_; }
void TPattern::SetModifiers(std::int32_t modifiers) { modifiers_ = modifiers; }

bool TPattern::ModifierFlag(int index) const {
  const std::int32_t bit = ModifierBit(index);
  if (!bit) Fail(PatternErrorCode::BadModifierIndex);
  return (modifiers_ & bit) != 0;
}

void TPattern::SetModifierFlag(int index, bool on) {
  const std::int32_t bit = ModifierBit(index);
  if (!bit) Fail(PatternErrorCode::BadModifierIndex);
  if (on) modifiers_ |= bit;
  else modifiers_ &= ~bit;
}

std::string TPattern::LinePairedSeparator() const {
  return hasPairedSeparator_ ? std::string{pairHead_, pairTail_} : std::string();
}

void TPattern::SetLinePairedSeparator(std::string_view text) {
  text = UpToNul(text);
  if (text.size() == 2 && text[0] != text[1]) {
    if (hasPairedSeparator_ && pairHead_ == text[0] && pairTail_ == text[1]) return;
    hasPairedSeparator_ = true;
    pairHead_ = text[0];
    pairTail_ = text[1];
    DiscardProgram();
  } else if (text.empty()) {
    if (!hasPairedSeparator_) return;
    hasPairedSeparator_ = false;
    pairHead_ = pairTail_ = 0;
    DiscardProgram();
  } else {
    Fail(PatternErrorCode::BadPairedSeparator);
  }
}

std::string TPattern::BlankChars() const { return blankChars_; }
void TPattern::SetBlankChars(std::string_view text) { blankChars_.assign(UpToNul(text)); }

std::string TPattern::WordCharSet() const { return wordCharSet_; }
void TPattern::SetWordCharSet(std::string_view text) {
  wordCharSet_.assign(UpToNul(text));
  tables_->stale = true;
}

std::string TPattern::LineBreakChars() const { return lineBreakChars_; }
void TPattern::SetLineBreakChars(std::string_view text) {
  const bool hadLineMode = !lineBreakChars_.empty() || hasPairedSeparator_;
  lineBreakChars_.assign(UpToNul(text));
  tables_->stale = true;
  // With no line separator at all, ^ and $ under m compile as input anchors;
  // gaining or losing the last separator therefore needs a new program.
  if (hadLineMode != (!lineBreakChars_.empty() || hasPairedSeparator_)) {
    DiscardProgram();
    return;
  }
  // The start characters of line ends depend on them.
  if (program_) program_->hintsStale = true;
}

TCaseSwap TPattern::CaseSwap() const { return caseSwap_; }
void TPattern::SetCaseSwap(TCaseSwap swap) {
  caseSwap_ = swap ? swap : DefaultCaseSwap;
  tables_->stale = true;
  // The start characters of case-insensitive literals depend on it.
  if (program_) program_->hintsStale = true;
}

// ---- Program ---------------------------------------------------------------

void TPattern::DiscardProgram() {
  program_.reset();
  mustFoundAt_ = nullptr;
}

void TPattern::RefreshRunTables() {
  regex::RunTables& t = *tables_;
  if (!t.stale) return;
  std::memset(t.lineBreak, 0, sizeof t.lineBreak);
  for (char c : lineBreakChars_) t.lineBreak[static_cast<unsigned char>(c)] = true;
  std::memset(t.word, 0, sizeof t.word);
  for (char c : wordCharSet_) t.word[static_cast<unsigned char>(c)] = true;
  for (int c = 0; c < 256; ++c) {
    unsigned char other = caseSwap_(static_cast<unsigned char>(c));
    t.swap[c] = other == 0 ? static_cast<unsigned char>(c) : other;
  }
  t.stale = false;
}

void TPattern::CompileProgram(const char* text) {
  // Whatever happens, the compile position exists only while compiling, and
  // a failed compile leaves no program.
  struct CompileScope {
    TPattern& self;
    ~CompileScope() {
      self.patternBegin_ = nullptr;
      self.parsePos_ = nullptr;
    }
  } scope{*this};
  DiscardProgram();
  compiled_ = false;
  std::unique_ptr<regex::CompiledProgram> program = regex::CompilePattern(*this, text);
  const regex::HintSettings settings{&lineBreakChars_, tables_->swap, (modifiers_ & ModifierM) != 0,
                                     hasPairedSeparator_, static_cast<unsigned char>(pairHead_)};
  regex::DeriveSearchHints(*program, settings, *this);
  program_ = std::move(program);
  compiled_ = true;
}

void TPattern::CompileExpression() {
  if (!hasExpression_) Fail(PatternErrorCode::NoExpression);
  CompileProgram(expression_.c_str());
}

bool TPattern::EnsureProgram() {
  if (modifiers_ != builtWithModifiers_) DiscardProgram();
  RefreshRunTables();
  if (!program_) CompileExpression();
  if (!program_) return false;
  if (program_->size == 0 || program_->bytes[0] != regex::ProgramSignature) Fail(PatternErrorCode::BadSignature);
  if (program_->hintsStale) {
    const regex::HintSettings settings{&lineBreakChars_, tables_->swap, (modifiers_ & ModifierM) != 0,
                                       hasPairedSeparator_, static_cast<unsigned char>(pairHead_)};
    regex::DeriveSearchHints(*program_, settings, *this);
    mustFoundAt_ = nullptr;
  }
  return true;
}

// ---- Subject and runs ------------------------------------------------------

std::string TPattern::InputString() const {
  if (!hasInput_) Fail(PatternErrorCode::InputStringUnset);
  return input_;
}

void TPattern::SetInputString(std::string_view text) {
  for (int k = 0; k < regex::GroupSlots; ++k) groupStarts_[k] = groupEnds_[k] = nullptr;
  hasInput_ = true;
  mustFoundAt_ = nullptr;
  if (text.size() != input_.size()) {
    input_.assign(UpToNul(text));
    return;
  }
  // Same length as the stored copy: its storage is reused, and the text is
  // copied and searched for a NUL in one pass, a slice at a time.
  constexpr std::size_t Slice = 16 * 1024;
  char* out = input_.data();
  for (std::size_t at = 0; at < text.size(); at += Slice) {
    const std::size_t n = std::min(Slice, text.size() - at);
    const void* nul = std::memchr(text.data() + at, 0, n);
    if (nul) {
      const std::size_t end = std::size_t(static_cast<const char*>(nul) - text.data());
      std::memcpy(out + at, text.data() + at, end - at);
      input_.resize(end);
      return;
    }
    std::memcpy(out + at, text.data() + at, n);
  }
}

bool TPattern::Exec(std::string_view text) {
  SetInputString(text);
  return ExecPos(1);
}

bool TPattern::ExecPos(std::int32_t offset) {
  for (int k = 0; k < regex::GroupSlots; ++k) groupStarts_[k] = groupEnds_[k] = nullptr;
  if (!EnsureProgram()) return false;
  if (!hasInput_) Fail(PatternErrorCode::NoInputString);
  if (offset < 1) Fail(PatternErrorCode::OffsetBelowOne);
  if (std::size_t(offset) > input_.size() + 1) return false;
  const char* const begin = input_.data();
  const char* const end = begin + input_.size();
  const char* const from = begin + (offset - 1);

  const regex::CompiledProgram& program = *program_;
  if (program.mustLiteral) {
    // Every match holds this literal, so a subject without it is done.
    if (!mustFoundAt_ || mustFoundAt_ < from) {
      const std::string_view rest(from, std::size_t(end - from));
      const std::size_t at =
          rest.find(std::string_view(reinterpret_cast<const char*>(program.mustLiteral),
                                     std::size_t(program.mustLength)));
      if (at == std::string_view::npos) return false;
      mustFoundAt_ = from + at;
    }
  }

  try {
    return regex::SearchSubject(*this, program, *tables_, from);
  } catch (...) {
    // No result survives a run that ends in an error; the error goes on.
    for (int k = 0; k < regex::GroupSlots; ++k) groupStarts_[k] = groupEnds_[k] = nullptr;
    throw;
  }
}

bool TPattern::ExecNext() {
  if (!groupStarts_[0] || !groupEnds_[0]) Fail(PatternErrorCode::ExecNextWithoutMatch);
  const std::int32_t length = GroupLength(0);
  return ExecPos(GroupStart(0) + length + (length == 0 ? 1 : 0));
}

std::int32_t TPattern::GroupStart(int n) const {
  if (n < 0 || n >= regex::GroupSlots || !hasInput_ || !groupStarts_[n] || !groupEnds_[n]) return -1;
  return std::int32_t(groupStarts_[n] - input_.data()) + 1;
}

std::int32_t TPattern::GroupLength(int n) const {
  if (n < 0 || n >= regex::GroupSlots || !hasInput_ || !groupStarts_[n] || !groupEnds_[n]) return -1;
  return std::int32_t(groupEnds_[n] - groupStarts_[n]);
}

std::string TPattern::GroupText(int n) const {
  if (n < 0 || n >= regex::GroupSlots || !hasInput_ || !groupStarts_[n] || !groupEnds_[n]) return {};
  return std::string(groupStarts_[n], groupEnds_[n]);
}

// ---- Inspection ------------------------------------------------------------

std::string_view TPattern::ProgramBytes() const {
  if (!program_) return {};
  return std::string_view(reinterpret_cast<const char*>(program_->bytes.get()), program_->size);
}

std::bitset<256> TPattern::StartCharSet() const {
  std::bitset<256> set;
  if (program_)
    for (int c = 0; c < 256; ++c) set[std::size_t(c)] = regex::InByteSet(program_->startSet.data(), static_cast<unsigned char>(c));
  return set;
}

unsigned char TPattern::FirstLiteralChar() const { return program_ ? program_->firstLiteral : 0; }
bool TPattern::AnchoredAtStart() const { return program_ && program_->anchored; }

std::string_view TPattern::MustLiteral() const {
  if (!program_ || !program_->mustLiteral) return {};
  return std::string_view(reinterpret_cast<const char*>(program_->mustLiteral),
                          std::size_t(program_->mustLength));
}

}  // namespace quorvane
