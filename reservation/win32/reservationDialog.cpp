// The confirmation dialog of reservation.dll. The native dialog (resource
// template 130 shown with DialogBoxParamW) is not built yet: a booking that
// needs the clerk's confirmation is left in the drop directory with a trace
// line, as the Linux module does when it has no display.
#include "reservation/reservationDialog.h"

#include "framework/trace.h"
#include "reservation/BookingClaim.h"

namespace resv {

Handled ShowConfirmDialog(BookingClaim& claim) {
    fw::Trace("booking %s not shown for confirmation: %s\n", claim.Path().c_str(),
              "this build has no confirmation dialog");
    return Handled::Left;
}

// The dialog template lives in the DLL's own resources: nothing to register.
void RegisterDialogResources() {}
void WithdrawDialogResources() {}

}  // namespace resv
