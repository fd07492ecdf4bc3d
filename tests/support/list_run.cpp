#include "list_run.h"

#include "memory_stream.h"

namespace kyto::test {

std::string ListRun::listing() const {
  MemoryStream out;
  list.print(out.get());
  return out.text();
}

}  // namespace kyto::test
