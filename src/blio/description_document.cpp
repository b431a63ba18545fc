#include "blio/description_document.h"

#include "common/file/file_io.h"

namespace packager {

DescriptionDocument::DescriptionDocument(std::filesystem::path file, const DescriptionNames& names)
    : file(std::move(file)), names(&names) {}

void DescriptionDocument::load() {
    loaded = true;
    if (!exists(file)) {
        document = xml::Document::create(names->root);
        list = document->root().addChild(names->list);
        return;
    }
    document = xml::Document::parseFile(file, xml::Parse::Recover);
    if (document) list = document->root().firstChild(names->list);
    count = list.children(names->item).size();
}

void DescriptionDocument::append(const DescriptionAttributes& attributes) {
    if (!loaded) load();
    if (!list) return;
    const std::string number = std::to_string(count++);
    xml::Element description = list.addChild(names->item);
    for (const auto& [name, value] : attributes) description.setAttribute(name, name == names->number ? number : value);
    changed = true;
}

bool DescriptionDocument::save() {
    if (!changed) return true;
    changed = false;
    return document->save(file, {.declareEncoding = false, .pretty = true});
}

}  // namespace packager
