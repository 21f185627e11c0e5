// The single-instance rule: one running copy per logged-on user.
#pragma once

// True for the first copy, which then holds the claim until it ends; false while another copy
// of the same user runs. Checking and claiming are one step, so two copies started together
// cannot both pass.
bool ClaimSingleInstance();
