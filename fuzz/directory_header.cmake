# Directory-stream headers: ReadHeader framing and ParseHeader.
veltra_fuzzer(fuzz_directory_header directory_header_fuzzer.cpp veltra_receiving)
