// The process functions of the CMS library.
#include "host/CMS.h"
#include "platform/cms/TCMSLibrary.h"
#include "platform/cms/TProc.h"

std::shared_ptr<TProc> TCMS_ProcDBNew(std::shared_ptr<TCMSLibrary> lib, const char* name) {
    if (!lib || name == nullptr)
        return nullptr;
    // Processes never change once loaded; the caller gets its own handle on
    // the shared one.
    return std::const_pointer_cast<TProc>(lib->FindProcess(name));
}

int TCMS_ProcIsICCProc(std::shared_ptr<TProc> proc) {
    return proc && proc->IsICC() ? 1 : 0;
}

int TCMS_ProcGetNrInks(std::shared_ptr<TProc> proc) {
    return proc ? proc->NrInks() : -1;
}

TInkVector TCMS_ProcGetInks(std::shared_ptr<TProc> proc) {
    return proc ? proc->Inks() : TInkVector();
}

int TCMSDB_ProcGetNrs(std::shared_ptr<TCMSLibrary> lib, const char* name, int* nrInks,
                      int* nrSpotInks) {
    const std::shared_ptr<const TProc> proc =
        lib && name != nullptr ? lib->FindProcess(name) : nullptr;
    if (!proc)
        return -1;
    if (nrInks != nullptr)
        *nrInks = proc->NrInks();
    if (nrSpotInks != nullptr)
        *nrSpotInks = proc->NrSpotInks();
    return 0;
}
