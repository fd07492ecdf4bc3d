#include "markup_limits.h"

#include <expat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "xml_stream.h"

namespace kyto::xml {

namespace {

// The pieces the input is fed in: where it is converted, a breach is placed at the start of the
// piece it was found in, since its offset is one in the converted text.
constexpr std::size_t kPieceBytes = 4096;

class MarkupGuard final : public ParserSetup {
 public:
  void setUp(XML_Parser parser) override {
    parser_ = parser;
    XML_SetUserData(parser, this);
    XML_SetDoctypeDeclHandler(parser, onDoctypeStart, onDoctypeEnd);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetAttlistDeclHandler(parser, onAttlist);
    XML_SetEntityDeclHandler(parser, onEntity);
    XML_SetDefaultHandlerExpand(parser, onOther);
  }

  MarkupBreach breach() const { return breach_; }
  XML_Index breachAt() const { return at_; }

 private:
  static MarkupGuard& of(void* self) { return *static_cast<MarkupGuard*>(self); }

  void fail(MarkupBreach breach) {
    if (breach_ != MarkupBreach::kNone) return;
    breach_ = breach;
    at_ = XML_GetCurrentByteIndex(parser_);
    XML_StopParser(parser_, XML_FALSE);
  }

  static void XMLCALL onDoctypeStart(void* self, const XML_Char*, const XML_Char*, const XML_Char*,
                                     int) {
    of(self).inDoctype_ = true;
  }
  static void XMLCALL onDoctypeEnd(void* self) { of(self).inDoctype_ = false; }

  static void XMLCALL onStart(void* self, const XML_Char* /*name*/, const XML_Char** attributes) {
    MarkupGuard& guard = of(self);
    int count = 0;
    int namespaces = 0;
    for (; attributes[2 * count] != nullptr; ++count) {
      const char* name = attributes[2 * count];
      namespaces += std::strncmp(name, "xmlns", 5) == 0 && (name[5] == '\0' || name[5] == ':');
    }
    guard.inScope_ += namespaces;
    if (!runInHandler(guard.parser_, [&] { guard.scopes_.push_back(namespaces); })) return;
    if (count > kMaxAttributesPerElement) return guard.fail(MarkupBreach::kTooManyAttributes);
    if (guard.inScope_ > kMaxNamespacesInScope) guard.fail(MarkupBreach::kTooManyNamespaces);
  }

  static void XMLCALL onEnd(void* self, const XML_Char* /*name*/) {
    MarkupGuard& guard = of(self);
    guard.inScope_ -= guard.scopes_.back();
    guard.scopes_.pop_back();
  }

  static void XMLCALL onAttlist(void* self, const XML_Char*, const XML_Char*, const XML_Char*,
                                const XML_Char* defaultValue, int /*required*/) {
    if (defaultValue != nullptr) of(self).fail(MarkupBreach::kDefaultAttribute);
  }

  static void XMLCALL onEntity(void* self, const XML_Char*, int parameter, const XML_Char*, int,
                               const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
    if (parameter != 0) of(self).fail(MarkupBreach::kParameterEntity);
  }

  // A parameter entity's reference in the internal subset reaches no other handler.
  static void XMLCALL onOther(void* self, const XML_Char* text, int length) {
    MarkupGuard& guard = of(self);
    if (guard.inDoctype_ && length > 0 && text[0] == '%')
      guard.fail(MarkupBreach::kParameterEntity);
  }

  XML_Parser parser_ = nullptr;
  MarkupBreach breach_ = MarkupBreach::kNone;
  XML_Index at_ = 0;
  bool inDoctype_ = false;
  std::vector<int> scopes_;  // the namespace declarations of each open element
  int inScope_ = 0;
};

MarkupCheck faultAt(const XmlStream& stream, std::size_t at, std::size_t size) {
  MarkupCheck check;
  check.breach = MarkupBreach::kMalformed;
  check.passable = std::min(size, at + kBytesPastAFault);
  const long line = stream.failureLine();
  check.fault = (line > 0 ? std::to_string(line) + ": " : "") + stream.problem();
  return check;
}

}  // namespace

const char* describeBreach(MarkupBreach breach) {
  switch (breach) {
    case MarkupBreach::kNone:
      return "within the limits";
    case MarkupBreach::kTooManyAttributes:
      return "more than 256 attributes in one element";
    case MarkupBreach::kTooManyNamespaces:
      return "more than 64 namespace declarations in scope";
    case MarkupBreach::kDefaultAttribute:
      return "a default attribute value in the document type";
    case MarkupBreach::kParameterEntity:
      return "a parameter entity in the document type";
    case MarkupBreach::kEncoding:
      return "an encoding this machine can't convert";
    case MarkupBreach::kMalformed:
      return "not well-formed";
  }
  return "beyond the limits";
}

MarkupCheck checkMarkup(std::string_view input) {
  MarkupGuard guard;
  XmlStream stream(guard);
  for (std::size_t at = 0;; at += kPieceBytes) {
    const std::string_view piece = input.substr(std::min(at, input.size()), kPieceBytes);
    const bool last = at + piece.size() >= input.size();
    if (stream.feed(piece, last)) {
      if (last) return {MarkupBreach::kNone, input.size(), {}};
      continue;
    }
    if (guard.breach() != MarkupBreach::kNone) {
      const auto breachAt = static_cast<std::size_t>(guard.breachAt());
      return {guard.breach(), stream.converting() ? at : std::min(breachAt, input.size()), {}};
    }
    if (stream.failure() == XmlStream::Failure::kUnknownEncoding)
      return {MarkupBreach::kEncoding, 0, {}};
    const XML_Index faultIndex = XML_GetErrorByteIndex(stream.parser());
    const bool exact =
        !stream.converting() && faultIndex >= 0 && stream.failure() == XmlStream::Failure::kParse;
    return faultAt(stream, exact ? static_cast<std::size_t>(faultIndex) : at, input.size());
  }
}

}  // namespace kyto::xml
