#include "xml_stream.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "common/large_pages.h"

namespace kyto::xml {

namespace {

// The XML declaration, the only place an encoding is named, stands at the very start: once this
// much has been parsed, no start over can come and the first bytes need not be kept.
constexpr std::size_t kMostPrefixBytes = 64 * 1024;

struct Utf32Signature {
  std::string_view bytes;
  const char* encoding;
  std::size_t mark;  // bytes of a byte order mark, which the conversion drops
};

// UTF-32 is the one encoding expat can't even begin to read, as its characters are no bytes:
// it is told by its byte order mark or by a '<' written in four bytes.
const Utf32Signature* utf32Signature(std::string_view first) {
  using namespace std::string_view_literals;
  static const Utf32Signature kSignatures[] = {
      {"\0\0\xFE\xFF"sv, "UTF-32BE", 4},
      {"\xFF\xFE\0\0"sv, "UTF-32LE", 4},
      {"\0\0\0<"sv, "UTF-32BE", 0},
      {"<\0\0\0"sv, "UTF-32LE", 0},
  };
  for (const Utf32Signature& signature : kSignatures)
    if (first.starts_with(signature.bytes)) return &signature;
  return nullptr;
}

// Converted text goes to expat a piece at a time, each converted into room for the most UTF-8 any
// of its bytes can become (one byte of TSCII is four characters). Running out of room midway is
// recovered from, but glibc's TSCII converter garbles the characters it holds back then.
constexpr std::size_t kConvertedPieceBytes = 16 * 1024;
constexpr std::size_t kMostUtf8BytesPerByte = 16;

}  // namespace

struct XmlStream::Converter {
  explicit Converter(const std::string& from) : handle(iconv_open("UTF-8", from.c_str())) {}
  ~Converter() {
    if (valid()) iconv_close(handle);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  // iconv_open's failure is the handle (iconv_t)-1.
  bool valid() const {
    return handle != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
  }
  iconv_t handle;
};

XmlStream::XmlStream(ParserSetup& setup) : setup_(setup) {
  createParser(nullptr);
}

XmlStream::~XmlStream() {
  if (parser_ != nullptr) XML_ParserFree(parser_);
  delete converter_;
}

bool XmlStream::createParser(const char* encoding) {
  if (parser_ != nullptr) XML_ParserFree(parser_);
  // Its buffer holds the whole of a file read at once: large ones in pages of their own.
  static const XML_Memory_Handling_Suite kMemory = {allocateBlock, resizeBlock, freeBlock};
  parser_ = XML_ParserCreate_MM(encoding, &kMemory, nullptr);
  if (parser_ == nullptr) return fail(Failure::kMemory);
  XML_SetUnknownEncodingHandler(parser_, recordEncoding, this);
  setup_.setUp(parser_);
  return true;
}

// expat asks here for an encoding it doesn't know. It is told no; the stream then starts over
// with a conversion of its own.
int XMLCALL XmlStream::recordEncoding(void* stream, const XML_Char* name, XML_Encoding* /*info*/) {
  try {
    static_cast<XmlStream*>(stream)->encoding_ = name;
  } catch (const std::bad_alloc&) {
  }
  return XML_STATUS_ERROR;
}

bool XmlStream::fail(Failure failure) {
  failure_ = failure;
  return false;
}

bool XmlStream::feed(std::string_view bytes, bool final) {
  if (failure_ != Failure::kNone || parser_ == nullptr) return false;
  if (converter_ != nullptr) return convertAndParse(bytes, final);
  if (!sniffed_) {
    prefix_.append(bytes);
    if (prefix_.size() < 4 && !final) return true;
    sniffed_ = true;
    if (const Utf32Signature* utf32 = utf32Signature(prefix_))
      return startConverting(utf32->encoding, prefix_.substr(utf32->mark), final);
    return parse(prefix_, final);
  }
  if (!prefix_.empty()) {
    if (prefix_.size() + bytes.size() <= kMostPrefixBytes) {
      prefix_.append(bytes);
    } else {
      std::string().swap(prefix_);
    }
  }
  return parse(bytes, final);
}

bool XmlStream::parse(std::string_view bytes, bool final) {
  if (XML_Parse(parser_, bytes.data(), static_cast<int>(bytes.size()), final) != XML_STATUS_ERROR)
    return true;
  const XML_Error error = XML_GetErrorCode(parser_);
  if (error == XML_ERROR_UNKNOWN_ENCODING && !encoding_.empty() && !prefix_.empty() &&
      converter_ == nullptr)
    return startConverting(encoding_, std::move(prefix_), final);
  return fail(error == XML_ERROR_NO_MEMORY ? Failure::kMemory : Failure::kParse);
}

char* XmlStream::bufferFor(std::size_t size) {
  if (failure_ != Failure::kNone || parser_ == nullptr || sniffed_) return nullptr;
  inPlace_ = static_cast<char*>(XML_GetBuffer(parser_, static_cast<int>(size)));
  return inPlace_;
}

bool XmlStream::parseInPlace(std::size_t size, bool final) {
  if (inPlace_ == nullptr || failure_ != Failure::kNone) return false;
  const std::string_view bytes(inPlace_, size);
  inPlace_ = nullptr;
  sniffed_ = true;
  // A start over takes the bytes from the room of the parser it replaces, while it is there.
  if (const Utf32Signature* utf32 = utf32Signature(bytes))
    return startConverting(utf32->encoding, std::string(bytes.substr(utf32->mark)), final);
  if (XML_ParseBuffer(parser_, static_cast<int>(size), final) != XML_STATUS_ERROR) return true;
  const XML_Error error = XML_GetErrorCode(parser_);
  if (error == XML_ERROR_UNKNOWN_ENCODING && !encoding_.empty())
    return startConverting(encoding_, std::string(bytes), final);
  return fail(error == XML_ERROR_NO_MEMORY ? Failure::kMemory : Failure::kParse);
}

// raw is the stream's own copy: the bytes it comes from may lie in the parser this replaces.
bool XmlStream::startConverting(const std::string& encoding,
                                std::string raw,  // NOLINT(performance-unnecessary-value-param)
                                bool final) {
  encoding_ = encoding;
  converter_ = new Converter(encoding);
  if (!converter_->valid()) return fail(Failure::kUnknownEncoding);
  if (!createParser("UTF-8")) return false;
  return convertAndParse(raw, final);
}

bool XmlStream::convertAndParse(std::string_view bytes, bool final) {
  std::string in = std::move(pending_);
  in.append(bytes);
  char* from = in.data();
  std::size_t fromLeft = in.size();
  std::string out(std::min(in.size(), kConvertedPieceBytes) * kMostUtf8BytesPerByte + 16, '\0');
  for (;;) {
    const std::size_t piece = std::min(fromLeft, kConvertedPieceBytes);
    std::size_t pieceLeft = piece;
    char* to = out.data();
    std::size_t toLeft = out.size();
    const bool converted =
        iconv(converter_->handle, &from, &pieceLeft, &to, &toLeft) != static_cast<std::size_t>(-1);
    const int error = converted ? 0 : errno;
    fromLeft -= piece - pieceLeft;
    const std::string_view text(out.data(), out.size() - toLeft);
    convertedLines_ += std::count(text.begin(), text.end(), '\n');
    // A character cut at the end of a piece is taken whole with the next one.
    const bool cutAtPiece = error == EINVAL && fromLeft > pieceLeft && pieceLeft < piece;
    if (converted ? fromLeft > 0 : error == E2BIG || cutAtPiece) {
      if (error == E2BIG && text.empty()) out.resize(out.size() * 2);
      if (!parse(text, false)) return false;
      continue;
    }
    // A character cut at the end waits for the rest of its bytes; any other fault is the input's.
    const bool cutCharacter = error == EINVAL && !final;
    if (!converted && !cutCharacter) {
      if (!parse(text, false)) return false;
      return fail(Failure::kBadBytes);
    }
    pending_.assign(from, fromLeft);
    return parse(text, final);
  }
}

long XmlStream::failureLine() const {
  switch (failure_) {
    case Failure::kParse:
      return static_cast<long>(XML_GetErrorLineNumber(parser_));
    case Failure::kBadBytes:
      return convertedLines_;
    case Failure::kUnknownEncoding:
      return 1;
    case Failure::kNone:
    case Failure::kMemory:
      break;
  }
  return 0;
}

std::string XmlStream::problem() const {
  switch (failure_) {
    case Failure::kParse:
      return XML_ErrorString(XML_GetErrorCode(parser_));
    case Failure::kUnknownEncoding:
      return "in the encoding \"" + encoding_ + "\", which this machine can't convert";
    case Failure::kBadBytes:
      return "bytes that are no characters of its encoding \"" + encoding_ + "\"";
    case Failure::kMemory:
      return "memory ran out";
    case Failure::kNone:
      break;
  }
  return {};
}

}  // namespace kyto::xml
