#pragma once

// Clears the upper halves of the AVX registers (vzeroupper) on processors that have them; does
// nothing elsewhere.
//
// Library code that leaves them dirty (Qt's AES string hash, used by its own hash tables for
// texts of more than 16 characters, does) makes every later SSE instruction of the process pay for
// it on processors with AVX-512, glibc's memcpy included, until something clears them again:
// measured on the import, a quarter of its time. Hot loops call this once per round (the import
// once per slot), which costs a few cycles.
void ClearVectorUpperState();
