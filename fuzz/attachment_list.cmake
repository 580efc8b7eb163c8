# An offer's attachment list.
veltra_fuzzer(fuzz_attachment_list attachment_list_fuzzer.cpp veltra_receiving)
