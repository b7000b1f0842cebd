// The function reference, built into the program so that `quorvel help`
// works wherever the binary is copied.  function_reference.inc is made from
// docs/functions.md at build time (cli/embed_text.cmake).
#include "docs/function_docs.h"

namespace {

const unsigned char kReference[] = {
#include "function_reference.inc"
    0};

}  // namespace

const std::string& built_in_reference() {
    static const std::string text(reinterpret_cast<const char*>(kReference), sizeof kReference - 1);
    return text;
}
