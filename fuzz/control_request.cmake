# A request line of the control socket, as the running instance reads it from a local process.
veltra_fuzzer(fuzz_control_request control_request_fuzzer.cpp veltra_control)
