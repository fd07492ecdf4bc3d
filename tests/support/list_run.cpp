#include "list_run.h"

#include "list/listing_writer.h"
#include "memory_stream.h"

namespace kyto::test {

std::string ListRun::listing() {
  MemoryStream out;
  clientadm::writeTextListing(list.finish(), out.get());
  return out.text();
}

}  // namespace kyto::test
