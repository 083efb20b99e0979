// Linked into the test programs of the conversion road: every job is handed
// to a pooled thread, however little work it carries, so that the tests
// that compare one processor with several run the shared paths and not the
// calling thread alone. Tests of the hand-over rule set their own least.
#include "core/KvThreadJob.h"

namespace {

[[maybe_unused]] const bool GHandOverEveryJob = (KvMinJobNanoseconds = 0, true);

}  // namespace
