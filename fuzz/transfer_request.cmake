# The request that opens a transfer connection.
veltra_fuzzer(fuzz_transfer_request transfer_request_fuzzer.cpp veltra_serving)
