# A whole directory stream received into a sandboxed folder.
veltra_fuzzer(fuzz_directory_stream directory_stream_fuzzer.cpp veltra_receiving)
