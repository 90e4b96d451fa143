#include <dlfcn.h>

#include "db/LibraryLoader.h"

namespace orvanta::db {

namespace {

std::string LastError() {
    const char* text = dlerror();
    return std::string(text ? text : "unknown error") + "\r\n";
}

}  // namespace

void* LoadLibraryByName(const std::string& name, std::string& error) {
    void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        error = LastError();
    }
    return library;
}

LibraryFunction LibraryEntryPoint(void* library, const char* name, std::string& error) {
    dlerror();  // a null symbol is only a failure when dlerror says so
    void* symbol = dlsym(library, name);
    if (!symbol) {
        error = LastError();
        return nullptr;
    }
    return reinterpret_cast<LibraryFunction>(symbol);
}

const char* DriverManagerLibraryName() {
    return "libodbc.so.2";
}

void* DesktopWindowHandle() {
    return nullptr;
}

}  // namespace orvanta::db
