// Feeding expat the bytes of an XML document in any encoding this machine can convert.
//
// expat reads UTF-8, UTF-16, ISO-8859-1 and US-ASCII itself. A document that declares any other
// encoding, or that is in UTF-32 (told by its first bytes), is converted to UTF-8 with iconv on
// its way in, and expat is told so: the stream starts over with a parser for UTF-8 as soon as
// the encoding is known, which is at the XML declaration, before any element.
//
// expat decides well-formedness as XML 1.0 does. Its defaults hold: no external entity is ever
// loaded, and the expansion of internal entities is bounded (its amplification limits).
#pragma once

#include <expat.h>

#include <cstddef>
#include <new>
#include <string>
#include <string_view>

namespace kyto::xml {

// Installs the handlers and user data of a parse on a new parser; called again when the stream
// starts over in a converted encoding, so that nothing is reported twice but the XML declaration.
class ParserSetup {
 public:
  virtual void setUp(XML_Parser parser) = 0;

  // Whether the parse stopped at a reference to a parameter entity the document does not declare.
  bool metUndeclaredParameterEntity() const { return undeclaredParameterEntity_; }

 protected:
  ~ParserSetup() = default;

  // For a setup that is its parser's user data, as a Self: stops the parse at a reference to a
  // parameter entity the document does not declare, which only declarations from outside it could
  // give. A general entity skipped in content goes to the default handler, as without this.
  template <typename Self>
  void stopAtUndeclaredParameterEntities(XML_Parser parser) {
    watched_ = parser;
    XML_SetSkippedEntityHandler(parser, [](void* self, const XML_Char*, int parameterEntity) {
      static_cast<ParserSetup*>(static_cast<Self*>(self))->skipped(parameterEntity != 0);
    });
  }

 private:
  void skipped(bool parameterEntity) {
    if (!parameterEntity) return XML_DefaultCurrent(watched_);
    undeclaredParameterEntity_ = true;
    XML_StopParser(watched_, XML_FALSE);
  }

  XML_Parser watched_ = nullptr;
  bool undeclaredParameterEntity_ = false;
};

// Runs a handler's work: nothing may be thrown back to expat, and a parse without memory stops.
// False when memory ran out.
template <typename Work>
bool runInHandler(XML_Parser parser, Work&& work) noexcept {
  try {
    work();
    return true;
  } catch (const std::bad_alloc&) {
    XML_StopParser(parser, XML_FALSE);
    return false;
  }
}

class XmlStream {
 public:
  enum class Failure {
    kNone,
    kParse,            // expat stopped: parser() tells why (a handler's abort included)
    kUnknownEncoding,  // declared in an encoding this machine can't convert
    kBadBytes,         // bytes that are no characters of the encoding it is in
    kMemory,
  };

  explicit XmlStream(ParserSetup& setup);
  ~XmlStream();
  XmlStream(const XmlStream&) = delete;
  XmlStream& operator=(const XmlStream&) = delete;

  // Parses the next bytes of the document; final with the last of them. False once the parse
  // has failed, for good: failure() says why.
  bool feed(std::string_view bytes, bool final);

  // For the first bytes of a document read from a file: room for size bytes in the parser's own
  // buffer, which the caller reads them into before parseInPlace, so that they are never copied.
  // Null when memory runs out.
  char* bufferFor(std::size_t size);
  // Parses the size bytes read into bufferFor's room, as feed would parse them.
  bool parseInPlace(std::size_t size, bool final);

  Failure failure() const { return failure_; }
  const ParserSetup& setup() const { return setup_; }
  XML_Parser parser() const { return parser_; }
  // Whether expat reads a UTF-8 conversion: its byte indexes are then of that text.
  bool converting() const { return converter_ != nullptr; }
  // The encoding a conversion was asked for (kUnknownEncoding, kBadBytes: the one at fault).
  const std::string& encoding() const { return encoding_; }
  // The line of the first problem, from 1; 0 when unknown.
  long failureLine() const;
  // What went wrong, as a phrase.
  std::string problem() const;

 private:
  struct Converter;

  bool createParser(const char* encoding);
  bool parse(std::string_view bytes, bool final);
  bool startConverting(const std::string& encoding, std::string raw, bool final);
  bool convertAndParse(std::string_view bytes, bool final);
  bool fail(Failure failure);
  static int XMLCALL recordEncoding(void* stream, const XML_Char* name, XML_Encoding* info);

  ParserSetup& setup_;
  XML_Parser parser_ = nullptr;
  Converter* converter_ = nullptr;
  std::string prefix_;  // the first bytes, kept until no start over can come
  bool sniffed_ = false;
  char* inPlace_ = nullptr;  // bufferFor's room
  std::string encoding_;
  std::string pending_;  // converting: the start of a character cut at the end of the last bytes
  long convertedLines_ = 1;
  Failure failure_ = Failure::kNone;
};

}  // namespace kyto::xml
