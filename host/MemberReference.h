// The reference a host developer reads: the member table with each member's description
// (`axlumora members --markdown`, committed as docs/members.md), the engine's status codes
// (`axlumora codes`) and the short note the host prints beside a failing Value.
#pragma once

#include <ostream>
#include <string>

#include "control/MemberTable.h"

namespace host {

// Markdown reference of every member, then the engine status codes.
void WriteMembersMarkdown(std::ostream& out);

// One line per engine status: code, name, meaning.
void WriteStatusCodes(std::ostream& out);

// What a method's integer Value means when it reports a failure: the member's own code, else
// the engine status it carries ("file not found"); empty for success, data and unknown codes.
std::string FailureNote(const EntryInfo& entry, const VARIANT& value);

}  // namespace host
