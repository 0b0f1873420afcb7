#include "model/Storable.hpp"

#include "foundation/Logger.hpp"
#include "model/JsonText.hpp"
#include "model/JsonTextWriter.hpp"
#include "model/JsonTreeWriter.hpp"

#include <exception>

namespace zqb {

std::string Storable::getJson() const {
    std::string text;
    // Room for the usual event at once: the text grows by appending.
    text.reserve(256);
    try {
        JsonTextWriter writer(text);
        writer.beginObject();
        writeMembers(writer);
        writer.endObject();
        return text;
    } catch (const std::exception&) {
        // Written again as a tree, which names the value that cannot be encoded and where it is.
    }
    try {
        return JsonText::write(toJson());
    } catch (const std::exception& error) {
        Logger::writeLog(ZQBLogLevel::error, "When trying to get json string from \n\t[" + description() +
                                                 "] \n\tobject an error has occurred: " + error.what());
        return "";
    }
}

nlohmann::ordered_json Storable::toJson() const {
    JsonTreeWriter writer;
    writer.beginObject();
    writeMembers(writer);
    writer.endObject();
    return writer.take();
}

}  // namespace zqb
