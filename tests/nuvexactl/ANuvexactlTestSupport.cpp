#include "tests/nuvexactl/ANuvexactlTestSupport.h"

namespace {

constexpr const char* kShapeCheck = R"(
import json, sys
try:
    document = json.loads(sys.stdin.buffer.read().decode('utf-8'))
    assert isinstance(document, dict) and list(document) == ['devices'], 'top level'
    lines = []
    for device in document['devices']:
        assert list(device) == ['device_type', 'type', 'vid', 'pid', 'presentation_type', 'events'], list(device)
        assert isinstance(device['device_type'], str), 'device_type'
        for key in ('type', 'vid', 'pid', 'presentation_type'):
            assert type(device[key]) is int, key
        line = '%s %d %d %d %d:' % (device['device_type'], device['type'], device['vid'], device['pid'],
                                    device['presentation_type'])
        for event in device['events']:
            assert list(event) == ['id', 'launch_type', 'launch_arg'], list(event)
            assert type(event['id']) is int and isinstance(event['launch_type'], str), 'event'
            assert isinstance(event['launch_arg'], str), 'launch_arg'
            line += ' %d/%s/%s' % (event['id'], event['launch_type'], event['launch_arg'])
        lines.append(line + '\n')
    sys.stdout.buffer.write(''.join(lines).encode('utf-8'))
except Exception as problem:
    sys.stdout.write('invalid: %r\n' % (problem,))
)";

} // namespace

std::string DescribeShowJson(const std::string& json)
{
    AProgramOptions options;
    options.fInput = json;
    AProgramResult result = RunProgram("/usr/bin/python3", {"-c", kShapeCheck}, options);
    if (result.fStatus != 0)
        return "invalid: python3 failed: " + result.fStderr;
    return result.fStdout;
}
