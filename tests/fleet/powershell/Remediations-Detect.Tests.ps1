# Remediations-Detect.ps1, Intune's detection script: the check's one line
# and its exit code when it answered 0 or 1; otherwise one UNKNOWN line and
# exit 0, so that Intune never runs the cleanup on a check that did not
# answer. One line on standard output, at most 2,048 characters, always.
BeforeDiscovery { . (Join-Path $PSScriptRoot 'FleetTest.ps1') }
BeforeAll { . (Join-Path $PSScriptRoot 'FleetTest.ps1') }

Describe 'Remediations-Detect.ps1 in <Mode>' -ForEach $Modes {
    BeforeAll { $script = New-ReleaseCopy 'Remediations-Detect.ps1' $TestDrive }

    It '<Case>: exit <Code>' -ForEach @(
        @{ Case = 'clean'; Line = 'CLEAN: no trace of the software'; Status = 0; Code = 0; Expected = 'CLEAN: no trace of the software' }
        @{ Case = 'traces'; Line = 'NOT CLEAN: the cleanup removes driver oem12.inf | service kvx'; Status = 1; Code = 1; Expected = 'NOT CLEAN: the cleanup removes driver oem12.inf | service kvx' }
        @{ Case = 'reboot pending'; Line = 'PENDING: nothing the cleanup removes | reboot to finish removing oem12.inf'; Status = 0; Code = 0; Expected = 'PENDING: nothing the cleanup removes | reboot to finish removing oem12.inf' }
        @{ Case = 'manual only'; Line = 'PENDING: nothing the cleanup removes | remove by hand: pnputil /delete-driver oem3.inf'; Status = 0; Code = 0; Expected = 'PENDING: nothing the cleanup removes | remove by hand: pnputil /delete-driver oem3.inf' }
        @{ Case = 'the check could not look'; Line = 'UNKNOWN: the driver store could not be listed'; Status = 0; Code = 0; Expected = 'UNKNOWN: the driver store could not be listed' }
        @{ Case = 'a line of 2,048 characters'; Line = 'NOT CLEAN: ' + ('x' * 2037); Status = 1; Code = 1; Expected = 'NOT CLEAN: ' + ('x' * 2037) }
        @{ Case = 'exit 2'; Line = 'UNKNOWN: could not tell'; Status = 2; Code = 0; Expected = "UNKNOWN: kovex-deepclean-check.exe could not be run as asked (exit code '2')" }
        @{ Case = 'a bad command line'; Line = ''; Status = 3; Code = 0; Expected = "UNKNOWN: kovex-deepclean-check.exe could not be run as asked (exit code '3')" }
        @{ Case = 'exit 1 without a line'; Line = ''; Status = 1; Code = 0; Expected = "UNKNOWN: kovex-deepclean-check.exe could not be run as asked (exit code '1')" }
        @{ Case = 'the check missing'; Missing = $true; Code = 0; Expected = 'UNKNOWN: * is missing: install the Win32 app first' }
        @{ Case = 'the check failing to start'; Shell = $Unstartable; Code = 0; Expected = 'UNKNOWN: the check could not be run: *' }
        @{ Case = 'devcon.exe missing'; Line = 'CLEAN: no trace of the software'; Status = 0; NoDevcon = $true; Code = 0; Expected = 'UNKNOWN: *devcon.exe is missing: *' }
    ) {
        $programs = New-ProgramsFolder
        if ($NoDevcon) { Remove-Item -LiteralPath (Join-Path $programs.Folder 'devcon.exe') }
        if (-not $Missing) {
            # It answers only --remediation, run in its folder (where it
            # finds devcon.exe); its standard error is no part of the line.
            New-StandIn (Join-Path $programs.Folder 'kovex-deepclean-check.exe') @"
[ "`$(pwd -P)" = '$($programs.Folder)' ] || { echo 'UNKNOWN: run outside its folder'; exit 0; }
[ "`$*" = --remediation ] || { echo "usage: `$*" >&2; exit 3; }
echo 'the listing took 3 s' >&2
[ -z '$Line' ] || printf '%s\r\n' '$Line'
exit $Status
"@ ($Shell ?? '/bin/sh')
        }

        $run = Invoke-FleetScript $script $Mode $programs.Environment

        $run.ExitCode | Should -Be $Code
        $run.Lines.Count | Should -Be 1
        $run.Lines[0] | Should -BeLike $Expected
        $run.Lines[0].Length | Should -BeLessOrEqual 2048
    }
}
