// The don't-use titles of the regcode sources (entries without
// registrations), collected before a livery scan so that the scan never
// offers those titles.
#pragma once

// Titles of the decrypted AIG list (the caller decrypts input/AIG-regcodes.enc
// before and removes the plain file after).
void lf_readAigDontUseTitles();
// Titles of the files in input/my_regcodes.
void lf_readMyDontUseTitles();
