# The rule that turns a sent name into one path component, and its placement.
veltra_fuzzer(fuzz_received_name received_name_fuzzer.cpp veltra_receiving)
