// json_lines < OUTPUT
// Reads the lines of veltra-console --json: each must be one JSON object whose first member is
// "event". Prints each as one line a shell test can match: the event, then " key=value" for every
// other member in order, strings as they are, anything else as compact JSON. Exits 1 at the first
// line that is not such an object, naming it. A last line without its line end is still being
// written, and is left for the next reading.

#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

int main() {
    using Json = nlohmann::ordered_json;
    std::string line;
    for (int number = 1; std::getline(std::cin, line) && !std::cin.eof(); ++number) {
        const Json event = Json::parse(line, nullptr, false);
        if (!event.is_object() || event.empty() || event.begin().key() != "event" ||
            !event.begin()->is_string()) {
            std::cerr << "json_lines: line " << number << " is not an event: " << line << '\n';
            return 1;
        }
        std::cout << event.begin()->get<std::string>();
        for (auto member = std::next(event.begin()); member != event.end(); ++member) {
            std::cout << ' ' << member.key() << '='
                      << (member->is_string() ? member->get<std::string>() : member->dump());
        }
        std::cout << '\n';
    }
    return 0;
}
