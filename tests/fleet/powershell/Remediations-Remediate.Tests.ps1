# Remediations-Remediate.ps1, Intune's remediation script: runs the cleanup
# with its output saved, byte for byte, to cleanup.log, then exits 0 only
# when "kovex-deepclean-check.exe --cleanup-log" says the cleanup ran to its
# end; one line on standard output either way.
BeforeDiscovery { . (Join-Path $PSScriptRoot 'FleetTest.ps1') }
BeforeAll { . (Join-Path $PSScriptRoot 'FleetTest.ps1') }

Describe 'Remediations-Remediate.ps1 in <Mode>' -ForEach $Modes {
    BeforeAll { $script = New-ReleaseCopy 'Remediations-Remediate.ps1' $TestDrive }

    # Recording: the cleanup writes that recorded log, and the check gives
    # its recorded answer, which the script prints (unless Expected says
    # otherwise).
    It '<Case>: exit <Code>' -ForEach @(
        @{ Case = 'a whole run'; Recording = 'whole'; Code = 0 }
        @{ Case = "a run that waited for another cleanup's lock"; Recording = 'waited'; Code = 0 }
        @{ Case = 'a run cut by its deadline: Done. last, ended and unstarted programs before it'; Recording = 'deadline'; Code = 1 }
        @{ Case = 'a run stopped mid-step'; Recording = 'stopped'; Code = 1 }
        @{ Case = 'a devcon.exe that cannot be launched'; Recording = 'nodevcon'; Code = 1 }
        @{ Case = 'no output'; Recording = 'empty'; Code = 1 }
        @{ Case = 'the cleanup failing to start'; Recording = 'unstartable'; Code = 1 }
        @{ Case = "an earlier run's log, the cleanup failing to start"; Recording = 'unstartable'; Earlier = $true; Code = 1 }
        @{ Case = 'the cleanup missing'; Missing = 'kovex-deepclean.exe'; Code = 1; Expected = 'Not run: *kovex-deepclean.exe is missing: install the Win32 app first' }
        @{ Case = 'the check missing'; Missing = 'kovex-deepclean-check.exe'; Code = 1; Expected = 'Not run: *kovex-deepclean-check.exe is missing: install the Win32 app first' }
        @{ Case = 'the log unreadable'; Recording = 'whole'; Unreadable = $true; Code = 1; Expected = "The cleanup's log cannot be read: *cleanup-remediation.log" }
        @{ Case = 'a check without --cleanup-log'; Recording = 'whole'; CheckArguments = '--old'; Code = 1; Expected = "kovex-deepclean-check.exe --cleanup-log ended with exit code '3' without its line" }
        @{ Case = 'the check failing to start'; Recording = 'whole'; CheckShell = $Unstartable; Code = 1; Expected = 'Not run: *kovex-deepclean-check.exe*' }
        @{ Case = 'devcon.exe missing'; Recording = 'whole'; Missing = 'devcon.exe'; Code = 1; Expected = 'Not run: *devcon.exe is missing: *' }
        @{ Case = "an earlier run's log that cannot be deleted"; Recording = 'whole'; Undeletable = $true; Code = 1; Expected = 'Not run: *cleanup-remediation.log from an earlier run could not be deleted' }
        @{ Case = 'no log written'; Recording = 'whole'; NoLog = $true; Code = 1; Expected = 'Not run: the cleanup was not started: *cleanup-remediation.log could not be written' }
    ) {
        $programs = New-ProgramsFolder
        $log = Join-Path $programs.Folder 'cleanup-remediation.log'
        $output = $Recording ? (Get-RecordedLog $Recording) : ''
        if ($Earlier) { Set-Content -LiteralPath $log -Value 'Done.' }
        if ($Undeletable) { $null = New-Item -ItemType Directory -Path (Join-Path $log 'held') }
        if ($Missing -eq 'devcon.exe') { Remove-Item -LiteralPath (Join-Path $programs.Folder 'devcon.exe') }
        if ($Missing -ne 'kovex-deepclean.exe') {
            # It runs in its folder (where it finds devcon.exe), writes its
            # output, and exits 0, as the cleanup always does.
            New-StandIn (Join-Path $programs.Folder 'kovex-deepclean.exe') @"
[ "`$(pwd -P)" = '$($programs.Folder)' ] || exit 0
cat '$output'
$($Unreadable ? 'rm -f cleanup-remediation.log; mkdir cleanup-remediation.log' : '')
$($NoLog ? 'rm -f cleanup-remediation.log' : '')
exit 0
"@
        }
        if ($Missing -ne 'kovex-deepclean-check.exe') {
            $check = Join-Path $programs.Folder 'kovex-deepclean-check.exe'
            New-StandIn $check $CleanupLogCheck ($CheckShell ?? '/usr/bin/env python3')
            if ($CheckArguments) { New-StandIn $check ($CleanupLogCheck -replace '--cleanup-log', $CheckArguments) '/usr/bin/env python3' }
        }

        $run = Invoke-FleetScript $script $Mode $programs.Environment

        $run.ExitCode | Should -Be $Code
        $run.Lines.Count | Should -Be 1
        if ($Expected) { $run.Lines[0] | Should -BeLike $Expected }
        else { $run.Lines[0] | Should -Be (Get-RecordedAnswer $Recording).Line }
        $run.Lines[0].Length | Should -BeLessOrEqual 2048
        if ($Recording -and -not $Missing -and -not $Unreadable -and -not $Undeletable -and -not $NoLog) {
            # The log holds the cleanup's bytes as it wrote them.
            (Get-FileHash -LiteralPath $log).Hash | Should -Be (Get-FileHash -LiteralPath $output).Hash
        }
    }
}
