#pragma once

namespace pomorina {

// Makes freed pictures go back to the system at once. The program holds up
// to twelve history items and a few pictures of up to tens of megabytes for
// as long as it runs; the C library's default would keep much of what they
// leave behind when replaced, and the program would look ever larger.
void releaseLargeBlocksPromptly();

} // namespace pomorina
