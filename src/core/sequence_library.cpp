// Resolving the sequence-file library, all or nothing like the device library.
#include "core/sequence_library.h"

#include "core/binding.h"

namespace qxcm {
namespace {

SequenceFileApi gApi{};
bool gBound = false;

} // namespace

SequenceFileApi &SequenceFiles()
{
    return gApi;
}

bool BindSequenceFiles()
{
    if (gBound)
        return true;
    void *module = Os().loadModule(Module::SequenceFile);
    if (!module)
        return false;
    SequenceFileApi api{};
    bool complete = true;
#define VLSEQ_OP(ordinal, name, ret, params, args)                                                 \
    ResolveOperation(module, ordinal, #name, api.name, complete);
#include "vlseqapi/vlseq_ops.inc"
#undef VLSEQ_OP
    if (!complete)
        return false;
    gApi = api;
    gBound = true;
    return true;
}

} // namespace qxcm
