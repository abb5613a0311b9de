// The tool's subcommands. Each takes the arguments after its name and returns the exit status
// (see console.hpp); each prints its own help for "--help". Each is defined in the file of its
// name (check.cpp, show.cpp, rewrite.cpp, prepare.cpp, embed.cpp, sign.cpp, dss.cpp,
// fixtures.cpp), and
// run_tool, which picks one, in tool.cpp.
#pragma once

#include <span>
#include <string>

namespace vantril::tool {

// check FILE [--json] [--strict]: reads every object and every stream's raw data and reports
// what it read.
int run_check(std::span<const std::string> arguments);

// show FILE N [G] [--decode]: one object as the serializer writes it, or a stream's decoded data.
int run_show(std::span<const std::string> arguments);

// rewrite IN OUT [--table|--stream] [--compress LEVEL] [--object-streams] [--strict]: the file
// read whole and saved again under the same object numbers.
int run_rewrite(std::span<const std::string> arguments);

// prepare IN OUT --field NAME [--page N] [--contents-size N] [--certify P] [--timestamp]
// [--reason TEXT] [--json]: IN copied to OUT with a signature revision whose /Contents waits for
// a signature made elsewhere; prints the byte ranges to sign.
int run_prepare(std::span<const std::string> arguments);

// embed OUT --der FILE: the signature written into the /Contents prepare reserved in OUT.
int run_embed(std::span<const std::string> arguments);

// sign IN OUT --p12 FILE [...]: prepare, a CMS signature made with libcrypto, and embed; in a
// build without libcrypto, a refusal that points to prepare and embed.
int run_sign(std::span<const std::string> arguments);

// dss OUT [--cert FILE]... [--ocsp FILE]... [--crl FILE]...: validation data appended to OUT's
// document security store.
int run_dss(std::span<const std::string> arguments);

// fixtures DIR [--only NAME]... [--large] | --list: the fixture set for testing signers, written
// into DIR with its manifest, or listed.
int run_fixtures(std::span<const std::string> arguments);

// The whole tool: "--help", "--version" or a subcommand and its arguments.
int run_tool(std::span<const std::string> arguments);

}  // namespace vantril::tool
