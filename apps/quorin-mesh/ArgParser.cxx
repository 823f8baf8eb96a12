#include "ArgParser.hxx"
#include "Commands.hxx"

namespace cli
{

std::optional<int> ParseCommandLine(const CommandSyntax&            syntax,
                                    const std::vector<std::string>& arguments,
                                    std::vector<std::string>&       files,
                                    double&                         deflection)
{
  for (size_t i = 0; i < arguments.size(); ++i)
  {
    const std::string& argument = arguments[i];
    if (IsHelp(argument))
    {
      syntax.PrintUsage(stdout);
      return Exit_Ok;
    }
    const CommandOption* own = nullptr;
    for (const CommandOption& option : syntax.Options)
    {
      if (argument == option.Name)
      {
        own = &option;
        break;
      }
    }
    const bool  takesValue = own != nullptr ? own->TakesValue : argument == "--deflection";
    std::string value;
    if (takesValue)
    {
      if (i + 1 == arguments.size())
      {
        return Fail(argument + " needs a value", Exit_Usage);
      }
      value = arguments[++i];
    }
    if (own != nullptr)
    {
      if (const int code = own->Apply(value); code != Exit_Ok)
      {
        return code;
      }
    }
    else if (argument == "--deflection")
    {
      if (!ParsePositive(argument, value, deflection))
      {
        return Exit_Usage;
      }
    }
    else if (argument.rfind("-", 0) == 0 && argument.size() > 1)
    {
      return Fail("unknown option '" + argument + "' of " + syntax.Name, Exit_Usage);
    }
    else if (files.size() < syntax.NbFiles)
    {
      files.push_back(argument);
    }
    else
    {
      return Fail(std::string(syntax.Name) + " takes " + syntax.FilesText + ", got also '" +
                      argument + "'",
                  Exit_Usage);
    }
  }
  if (files.size() + syntax.NbOptionalFiles < syntax.NbFiles)
  {
    syntax.PrintUsage(stderr);
    return Exit_Usage;
  }
  return std::nullopt;
}

std::vector<CommandOption> EncodingOptions(Encoding& encoding)
{
  const auto choose = [&encoding](const Encoding asked)
  {
    if (encoding != Encoding::Default && encoding != asked)
    {
      return Fail("--ascii and --binary exclude each other", Exit_Usage);
    }
    encoding = asked;
    return int(Exit_Ok);
  };
  return {{"--ascii", false, [choose](const std::string&) { return choose(Encoding::Ascii); }},
          {"--binary", false, [choose](const std::string&) { return choose(Encoding::Binary); }}};
}

} // namespace cli
