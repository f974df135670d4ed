// The binding to the sequence-file library, resolved at the first file opening.
#pragma once

#include "vlseqapi/vlseq_api.h"

namespace qxcm {

struct SequenceFileApi {
#define VLSEQ_OP(ordinal, name, ret, params, args) ret(*name) params;
#include "vlseqapi/vlseq_ops.inc"
#undef VLSEQ_OP
};

SequenceFileApi &SequenceFiles();

// Loads and resolves the library once; false when it is missing or incomplete.
bool BindSequenceFiles();

} // namespace qxcm
