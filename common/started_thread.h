#pragma once
// Threads that name their purpose when the system has none to give: a start-up failure then
// says which thread could not start, not only why.

#include <string>
#include <system_error>
#include <utility>

namespace veltra {

// Starts a Thread (std::thread or std::jthread) running body. When no thread can be created (a
// task limit reached), throws std::system_error with the errno and "cannot create thread for "
// followed by purpose.
template <typename Thread, typename Body>
Thread StartThread(const char* purpose, Body&& body) {
    try {
        return Thread(std::forward<Body>(body));
    } catch (const std::system_error& error) {
        throw std::system_error(error.code(), std::string("cannot create thread for ") + purpose);
    }
}

}  // namespace veltra
