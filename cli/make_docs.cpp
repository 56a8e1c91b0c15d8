// Writes velpin-cli's manual page and its bash completion from the command line the program
// parses with, so that neither can miss a subcommand or an option, and the page's account of the
// JSON outputs from their schemas: velpin-cli-docs MAN COMPLETION SCHEMA-FOLDER
#include <algorithm>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands/command_options.h"
#include "cli/manual_sections.h"
#include "cli/schema_keys.h"

namespace velpin {

namespace {

// Text as roff shows it literally: backslashes and dashes escaped, and no line taken for a
// request.
std::string Roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out.push_back(c);
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) {
        out.insert(0, "\\&");
    }
    return out;
}

std::vector<const CLI::Option*> Options(const CLI::App& command) {
    return command.get_options([](const CLI::Option* option) { return option->nonpositional(); });
}

std::vector<const CLI::Option*> Operands(const CLI::App& command) {
    return command.get_options([](const CLI::Option* option) { return option->get_positional(); });
}

// "-j, --jobs N" for an option; "PATH..." for an operand, in brackets when it may be left out.
std::string Shown(const CLI::Option& option) {
    if (option.get_positional()) {
        std::string name = option.get_name();
        if (option.get_items_expected_max() > 1) {
            name += "...";
        }
        return option.get_required() ? name : "[" + name + "]";
    }
    std::string names;
    for (const std::string& name : option.get_snames()) {
        names += (names.empty() ? "-" : ", -") + name;
    }
    for (const std::string& name : option.get_lnames()) {
        names += (names.empty() ? "--" : ", --") + name;
    }
    const std::string type = option.get_type_name();
    return type.empty() ? names : names + " " + type;
}

std::string Synopsis(const CLI::App& command) {
    std::string synopsis = "velpin-cli " + command.get_name() + " [OPTIONS]";
    for (const CLI::Option* operand : Operands(command)) {
        synopsis += " " + Shown(*operand);
    }
    return synopsis;
}

void WriteOutputs(std::ostream& out, const std::vector<SchemaOutput>& outputs) {
    out << ".SH OUTPUT\n"
        << "With \\fB\\-\\-json\\fR, \\fBtree\\fR, \\fBtags\\fR, \\fBinfo\\fR and "
           "\\fBrepair\\fR print one JSON object, and \\fBscan\\fR prints one object a line. "
        << "A JSON Schema describes each output, failures included (see \\fBFILES\\fR); "
           "these are its keys, nested ones joined by a dot, with \\fB[]\\fR for the items of "
           "an array and \\fB*\\fR for any key.\n";
    for (const SchemaOutput& output : outputs) {
        out << ".SS \"" << Roff(output.title) << "\"\n";
        if (!output.description.empty()) {
            out << Roff(output.description) << "\n";
        }
        out << ".PP\nSchema: \\fI" << Roff(output.file) << "\\fR\n";
        for (const SchemaKey& key : output.keys) {
            out << ".TP\n.B " << Roff(key.path) << "\n" << Roff(key.description) << "\n";
        }
    }
}

void WriteManPage(std::ostream& out, const CommandLine& commandLine,
                  const std::vector<SchemaOutput>& outputs) {
    const CLI::App& app = commandLine.App();
    const std::vector<const CLI::App*> commands = app.get_subcommands({});
    out << ".TH VELPIN\\-CLI 1 \"\" \"velpin-cli " VELPIN_VERSION "\" \"User Commands\"\n"
        << ".SH NAME\nvelpin\\-cli \\- inspect, trim, convert and scan Shockwave Flash movies\n"
        << ".SH SYNOPSIS\n";
    for (const CLI::App* command : commands) {
        out << ".B " << Roff(Synopsis(*command)) << "\n.br\n";
    }
    out << ".B velpin\\-cli\n[\\fB\\-h\\fR|\\fB\\-\\-help\\fR|\\fB\\-\\-version\\fR]\n"
        << ".SH DESCRIPTION\n"
        << Roff(app.get_description()) << "\n.PP\n"
        << "Every subcommand takes \\fB\\-h\\fR and \\fB\\-\\-help\\fR. "
        << "\\fB\\-\\-name=value\\fR works wherever \\fB\\-\\-name value\\fR does, and "
        << "\\fB\\-\\-\\fR ends the options. Errors go to standard error, one line each that "
        << "names the file where there is one: \\fBvelpin\\-cli: \\fIFILE\\fB: \\fImessage\\fR.\n"
        << ".SH COMMANDS\n";
    for (const CLI::App* command : commands) {
        out << ".SS \"" << Roff(Synopsis(*command)) << "\"\n"
            << Roff(command->get_description()) << ".\n";
        for (const CLI::Option* option : Operands(*command)) {
            out << ".TP\n.I " << Roff(option->get_name()) << "\n"
                << Roff(option->get_description()) << "\n";
        }
        for (const CLI::Option* option : Options(*command)) {
            out << ".TP\n.B " << Roff(Shown(*option)) << "\n"
                << Roff(option->get_description()) << "\n";
        }
    }
    for (const ManualSection& section : ManualSections()) {
        out << ".SH " << section.title << "\n";
        for (const ManualEntry& entry : section.entries) {
            if (entry.term.empty()) {
                out << ".PP\n" << Roff(entry.text) << "\n";
            } else {
                out << ".TP\n.B " << Roff(entry.term) << "\n" << Roff(entry.text) << "\n";
            }
        }
    }
    WriteOutputs(out, outputs);
    out << ".SH EXIT STATUS\n"
        << "Each command's statuses, which its \\fB\\-\\-help\\fR also lists:\n";
    for (const CLI::App* command : commands) {
        const std::vector<ExitStatusMeaning>* statuses = ExitStatusesOf(*command);
        if (statuses == nullptr) {
            throw std::runtime_error(command->get_name() + " does not say its exit statuses");
        }
        out << ".SS " << Roff(command->get_name()) << "\n";
        for (const ExitStatusMeaning& status : *statuses) {
            out << ".TP\n.B " << status.status << "\n" << Roff(status.meaning) << "\n";
        }
    }
    out << ".SH EXAMPLES\n";
    for (const auto& [task, command] : Examples()) {
        out << Roff(task) << "\n.PP\n.RS\n.B " << Roff(command) << "\n.RE\n.PP\n";
    }
    out << ".SH FILES\n.TP\n.I " << Roff(VELPIN_SCHEMA_FOLDER) << "\n"
        << "The JSON Schemas of the outputs, one file each, named in \\fBOUTPUT\\fR. Each "
           "one's \\fB$id\\fR is its file name, so that its references to the others resolve "
           "when the folder is given as the base URI, as in\n"
        << ".RS\n.B "
        << Roff(std::string("jsonschema --base-uri file://") + VELPIN_SCHEMA_FOLDER + "/ " +
                VELPIN_SCHEMA_FOLDER + "/tags.schema.json")
        << "\n.RE\n.SH SEE ALSO\n.BR velpin (1)\n";
}

std::string Words(const std::vector<std::string>& words) {
    std::string joined;
    for (const std::string& word : words) {
        joined += (joined.empty() ? "" : " ") + word;
    }
    return joined;
}

std::vector<std::string> OptionNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : Options(command)) {
        for (const std::string& name : option->get_snames()) {
            names.push_back("-" + name);
        }
        for (const std::string& name : option->get_lnames()) {
            names.push_back("--" + name);
        }
    }
    return names;
}

// Subcommands first, then the options of the one given, and file names for its operands.
// The options whose values are made of known words, with those words, over every subcommand.
std::vector<std::pair<std::string, std::string>> OptionChoices(const CLI::App& app) {
    std::vector<std::pair<std::string, std::string>> choices;
    for (const CLI::App* command : app.get_subcommands({})) {
        for (const CLI::Option* option : Options(*command)) {
            const std::vector<std::string>* words = ChoicesOf(*option);
            if (words == nullptr) {
                continue;
            }
            for (const std::string& name : option->get_lnames()) {
                const std::pair<std::string, std::string> entry{"--" + name, Words(*words)};
                if (std::find(choices.begin(), choices.end(), entry) == choices.end()) {
                    choices.push_back(entry);
                }
            }
        }
    }
    return choices;
}

void WriteCompletion(std::ostream& out, const CommandLine& commandLine) {
    const CLI::App& app = commandLine.App();
    std::vector<std::string> first;
    for (const CLI::App* command : app.get_subcommands({})) {
        first.push_back(command->get_name());
    }
    for (const std::string& name : OptionNames(app)) {
        first.push_back(name);
    }
    out << "# bash completion for velpin-cli, written from its command line at build time\n"
        << "_velpin_cli() {\n"
        << "    local cur=\"${COMP_WORDS[COMP_CWORD]}\"\n"
        << "    local prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
        << "    # --name=value comes as the name, \"=\" and the value, the cursor on any of the "
           "last two.\n"
        << "    if [[ $cur == \"=\" ]]; then\n"
        << "        cur=\"\"\n"
        << "    elif [[ $prev == \"=\" && $COMP_CWORD -ge 2 ]]; then\n"
        << "        prev=\"${COMP_WORDS[COMP_CWORD-2]}\"\n"
        << "    fi\n"
        << "    if [[ $COMP_CWORD -eq 1 ]]; then\n"
        << "        COMPREPLY=($(compgen -W \"" << Words(first) << "\" -- \"$cur\"))\n"
        << "        return\n"
        << "    fi\n"
        << "    local words=\"\"\n"
        << "    case \"$prev\" in\n";
    for (const auto& [option, words] : OptionChoices(app)) {
        out << "        " << option << ") words=\"" << words << "\" ;;\n";
    }
    out << "    esac\n"
        << "    if [[ -n $words ]]; then\n"
        << "        # A list separated by commas: the words complete its last item.\n"
        << "        local done=\"\"\n"
        << "        [[ $cur == *,* ]] && done=\"${cur%,*},\"\n"
        << "        COMPREPLY=($(compgen -P \"$done\" -W \"$words\" -- \"${cur##*,}\"))\n"
        << "        return\n"
        << "    fi\n"
        << "    local options\n"
        << "    case \"${COMP_WORDS[1]}\" in\n";
    for (const CLI::App* command : app.get_subcommands({})) {
        out << "        " << command->get_name() << ") options=\"" << Words(OptionNames(*command))
            << "\" ;;\n";
    }
    out << "        *) return ;;\n"
        << "    esac\n"
        << "    if [[ $cur == -* ]]; then\n"
        << "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
        << "    else\n"
        << "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
        << "    fi\n"
        << "}\n"
        << "complete -o filenames -F _velpin_cli velpin-cli\n";
}

}  // namespace

}  // namespace velpin

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: velpin-cli-docs MAN-PAGE COMPLETION SCHEMA-FOLDER\n";
        return 2;
    }
    std::vector<velpin::SchemaOutput> outputs;
    try {
        outputs = velpin::ReadSchemas(argv[3]);
    } catch (const std::exception& error) {
        std::cerr << "velpin-cli-docs: " << argv[3] << ": " << error.what() << "\n";
        return 1;
    }
    const velpin::CommandLine commandLine;
    std::ofstream man(argv[1]);
    try {
        velpin::WriteManPage(man, commandLine, outputs);
    } catch (const std::runtime_error& error) {
        std::cerr << "velpin-cli-docs: " << error.what() << "\n";
        return 1;
    }
    std::ofstream completion(argv[2]);
    velpin::WriteCompletion(completion, commandLine);
    man.close();
    completion.close();
    if (!man || !completion) {
        std::cerr << "velpin-cli-docs: cannot write " << argv[1] << " or " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
