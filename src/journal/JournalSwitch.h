// YKT_JOURNAL: "0" turns the journal off; missing or anything else is on.
#pragma once

namespace ykt::journal {

// Read afresh at every use, as every setting is.
bool JournalIsOn();

}  // namespace ykt::journal
