#include "tools/spihost/host.h"

#include "tools/spihost/host_files.h"
#include "tools/spihost/verbs.h"

namespace spihost {

HostContext::HostContext(const Command& command, PluginModule& module, std::ostream& out, std::ostream& err)
    : command(command), habits(command.habits), out(out), err(err), module_(module),
      exports_(lookUpExports(module)) {}

bool HostContext::prepareInput(PluginInput& input) {
  if (!command.memoryInput) {
    input.buf = command.input.c_str();
    input.len = static_cast<intptr_t>(command.offset);
    input.flag = spi::kInputFile;
    return true;
  }
  std::string error;
  if (!readFileFrom(command.input, command.offset, input.bytes, error)) {
    fileError(error);
    return false;
  }
  input.buf = reinterpret_cast<const char*>(input.bytes.data());
  input.len = static_cast<intptr_t>(input.bytes.size());
  input.flag = spi::kInputMemory;
  return true;
}

void HostContext::unloadIfAsked() {
  if (!habits.freeLibraryFirst) return;
  module_.close();
  exports_ = PluginExports();
}

int HostContext::missingExport(const char* name) {
  err << "spihost: " << command.plugin << " has no export " << name << "\n";
  return kExitLibrary;
}

int HostContext::pluginError(const char* exportName, int code) {
  err << "spihost: " << exportName << " failed: " << describeResult(code) << "\n";
  return kExitPluginError;
}

int HostContext::pluginFault(const std::string& what) {
  err << "spihost: plug-in fault: " << what << "\n";
  return kExitPluginFault;
}

int HostContext::fileError(const std::string& what) {
  err << "spihost: " << what << "\n";
  return kExitFileError;
}

int HostContext::expectRefusal(const std::string& call, int code) {
  if (code == spi::kSuccess) return pluginFault(call + " answered 0 (success)");
  out << call << ": refused with " << describeResult(code) << "\n";
  return kExitOk;
}

int runHost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ParseResult parsed = parseCommandLine(args);
  if (!parsed.ok) {
    err << "spihost: " << parsed.error << "\nrun 'spihost --help' for usage\n";
    return kExitUsage;
  }
  const Command& command = parsed.command;
  if (command.verb == Verb::kHelp) {
    out << usageText();
    return kExitOk;
  }
  PluginModule module;
  std::string error;
  if (!module.open(command.plugin, error)) {
    err << "spihost: cannot load plug-in library " << command.plugin << ": " << error << "\n";
    return kExitLibrary;
  }
  HostContext context(command, module, out, err);
  switch (command.verb) {
    case Verb::kInfo: return runInfo(context);
    case Verb::kProbe: return runProbe(context);
    case Verb::kPictureInfo: return runPictureInfo(context);
    case Verb::kDecode: return runDecode(context);
    case Verb::kList: return runList(context);
    case Verb::kExtract: return runExtract(context);
    case Verb::kHelp: break;
  }
  return kExitOk;
}

}  // namespace spihost
